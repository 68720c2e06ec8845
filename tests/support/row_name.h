#pragma once
// Readable, stable names for the rows of value-parameterised suites: what
// `ctest -R` picks and a failure names, instead of the row's bytes.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

// `text` as a test name: letters and digits kept, anything else an
// underscore, prefixed with the row's index so that names stay unique.
inline std::string rowName(size_t index, const std::string& text) {
  std::string name = std::to_string(index) + "_";
  for (unsigned char c : text) name += std::isalnum(c) ? char(c) : '_';
  return name;
}

// Names each row after its `name` field.
struct ByRowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return rowName(info.index, info.param.name);
  }
};
