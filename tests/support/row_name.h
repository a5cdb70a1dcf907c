// Test names for parameterised tables whose rows carry a `name`: every
// character gtest does not accept in a name becomes '_'.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace cuh::testing {

struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    std::string name = row.param.name;
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c)))
        c = '_';
    }
    return name;
  }
};

}  // namespace cuh::testing
