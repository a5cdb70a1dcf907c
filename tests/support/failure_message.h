// The message of the HelperFailure a piece of work raises.
#pragma once

#include <string>

#include "protocol/helper_failure.h"

namespace cuh::testing {

// "" when `work` raises none.
template <class F>
std::string failureOf(F&& work) {
  try {
    work();
  } catch (const HelperFailure& failure) {
    return failure.message();
  }
  return "";
}

}  // namespace cuh::testing
