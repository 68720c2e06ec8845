#pragma once
// Readable, stable names for the rows of value-parameterised suites: what
// `ctest -R` picks and a failure names. Each row's `name` field says the
// behaviour and the expected result ("RefusesANameThatClimbsOut"), so that a
// failing row reads as the fault it found.
#include <gtest/gtest.h>

#include <string>

// Names each row after its `name` field, which must be a C++ identifier
// unique in its suite (GoogleTest checks both).
struct ByRowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};
