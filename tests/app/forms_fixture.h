#pragma once
// Both windows of the program, created as the start-up creates them and
// published as Form1 and Form2 while the fixture lives.
#include <gtest/gtest.h>

#include <memory>

#include "app/unit1.h"
#include "app/unit2.h"

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form1 = std::make_unique<TForm1>();
    Form1 = form1.get();
    form2 = std::make_unique<TForm2>();
    Form2 = form2.get();
  }
  void TearDown() override {
    Form2 = nullptr;
    Form1 = nullptr;
    form2.reset();
    form1.reset();
  }

  std::unique_ptr<TForm1> form1;
  std::unique_ptr<TForm2> form2;
};
