#pragma once
// Asserts that a statement raises an exception of a given class with exactly
// the given message. Fails when nothing is raised, when another class is
// raised, or when the message differs.
#include <gtest/gtest.h>

#include <string>

#define EXPECT_THROW_MESSAGE(statement, ExceptionClass, expectedMessage)        \
  EXPECT_THROW(                                                                 \
      {                                                                         \
        try {                                                                   \
          statement;                                                            \
        } catch (const ExceptionClass& caught_) {                               \
          EXPECT_EQ(std::string(caught_.what()), std::string(expectedMessage)); \
          throw;                                                                \
        }                                                                       \
      },                                                                        \
      ExceptionClass)
