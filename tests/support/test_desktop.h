// The simulated desktop of one test, on the virtual clock, with what every
// fixture does with it: running the main loop, applying script actions,
// reading the trace, and reaching windows and elements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/window_rows.h"
#include "protocol/json.h"
#include "protocol/params.h"

namespace cuh::testing {

class TestDesktop {
 public:
  virtual ~TestDesktop() = default;

  // Replaces the desktop by one built from `scene`.
  virtual void load(const Json& scene) { desktop = sim::SimDesktop::create(scene); }

  // Runs the main loop until nothing is left to do.
  void run() { desktop->loop().runUntilIdle(60); }

  void apply(const std::string& action) { desktop->apply(Json::parse(action)); }

  std::vector<Json> trace(std::string_view kind) const { return desktop->traceLines(kind); }

  // The verdicts of the taps of `pid`, in order.
  std::vector<std::string> tapVerdicts(int32_t pid) const {
    std::vector<std::string> out;
    for (const auto& line : desktop->traceLines("tap")) {
      if (line["pid"] == pid)
        out.push_back(line["verdict"].get<std::string>());
    }
    return out;
  }

  // The frame of window `windowID` in the window list.
  platform::Rect windowBounds(uint32_t windowID) {
    auto rows =
        platform::windowListRows(desktop->windowServer(), platform::kListOneWindow, windowID);
    EXPECT_EQ(rows.size(), 1U);
    return platform::rowBounds(rows.at(0)).value_or(platform::Rect{});
  }

  std::unique_ptr<sim::SimDesktop> desktop;
};

}  // namespace cuh::testing
