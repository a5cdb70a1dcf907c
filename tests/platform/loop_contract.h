// The main loop's contract as a table of cases, one table for every loop
// implementation: the portable loop (tests/platform/loop_contract_test.cc
// runs it under GoogleTest) and the macOS loop (the Mac self-check runs it
// on the main run loop). A case drives the loop only through
// platform::MainLoop, from the loop's own thread and outside any work item,
// and never reads a clock, so it holds on a virtual clock and on a real one.
// Plain C++: the self-check has no GoogleTest.
#pragma once

#include <span>
#include <string>

#include "platform/main_loop.h"

namespace cuh::testing {

struct LoopUnderTest {
  platform::MainLoop& loop;
};

struct LoopContractCase {
  const char* name;
  // Empty when the loop kept the contract; otherwise what it did instead.
  std::string (*run)(LoopUnderTest& subject);
};

std::span<const LoopContractCase> loopContractCases();

}  // namespace cuh::testing
