// A small desktop for the foreground-protection tests: the user's terminal in
// front, a background notes app with two windows, and a third app; with a
// ForegroundGuard working on it under the virtual clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guard/foreground_guard.h"
#include "platform/sim/sim_desktop.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "protocol/params.h"
#include "support/row_name.h"
#include "windows/exact_window.h"

namespace cuh::testing {

inline constexpr int32_t kUser = 100;          // the user's frontmost app
inline constexpr uint32_t kUserWindow = 11;    // its front window
inline constexpr int32_t kTarget = 200;        // the background target
inline constexpr uint32_t kTargetWindow = 21;  // its focused window
inline constexpr uint32_t kOtherWindow = 22;   // its second window
inline constexpr int32_t kThird = 300;         // another app
inline constexpr uint32_t kThirdWindow = 31;

inline Json guardScene() {
  return Json::parse(R"({
    "frontmost": 100,
    "apps": [
      {"pid": 100, "name": "Terminal"},
      {"pid": 200, "name": "Notes", "focusedWindow": 21},
      {"pid": 300, "name": "Mail"}
    ],
    "windows": [
      {"id": 11, "pid": 100, "title": "shell",
       "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}, "ax": {"ref": "term"}},
      {"id": 31, "pid": 300, "title": "Inbox",
       "bounds": {"x": 50, "y": 50, "width": 500, "height": 400}, "ax": {"ref": "inbox"}},
      {"id": 21, "pid": 200, "title": "Note",
       "bounds": {"x": 100, "y": 120, "width": 400, "height": 300},
       "ax": {"ref": "note", "focused": false, "settable": ["AXFocused"],
              "children": [
                {"ref": "field", "role": "AXTextField", "value": "hello", "focused": true,
                 "frame": {"x": 110, "y": 130, "width": 200, "height": 24},
                 "settable": ["AXFocused", "AXValue"]},
                {"ref": "other-field", "role": "AXTextField", "value": "",
                 "frame": {"x": 110, "y": 170, "width": 200, "height": 24},
                 "settable": ["AXFocused", "AXValue"]}
              ]}},
      {"id": 22, "pid": 200, "title": "Second",
       "bounds": {"x": 600, "y": 120, "width": 300, "height": 200},
       "ax": {"ref": "second", "settable": ["AXFocused"]}}
    ]
  })");
}

// Members are public so that table rows (lambdas) can change the desktop.
class GuardFixture : public ::testing::Test {
 public:
  void SetUp() override { load(guardScene()); }

  void load(const Json& scene) {
    guard.reset();
    desktop = sim::SimDesktop::create(scene);
    guard = std::make_unique<ForegroundGuard>(*desktop);
  }

  platform::ForegroundSnapshot userForeground() const { return {kUser, kUserWindow}; }

  // The exact accessibility window of (pid, windowID), found the way
  // requests find it.
  platform::AXElement windowElement(int32_t pid, uint32_t windowID) {
    auto row = platform::windowRow(*desktop, pid, windowID);
    EXPECT_TRUE(row.has_value());
    return exactWindow(*desktop, pid, windowID, *row);
  }

  platform::Rect windowBounds(uint32_t windowID) {
    auto rows =
        platform::windowListRows(desktop->windowServer(), platform::kListOneWindow, windowID);
    EXPECT_EQ(rows.size(), 1U);
    return *bounds(rows.at(0));
  }

  // Runs the main loop until nothing is left to do.
  void run() { desktop->loop().runUntilIdle(60); }

  void apply(const std::string& action) { desktop->apply(Json::parse(action)); }

  std::vector<Json> trace(std::string_view kind) const { return desktop->traceLines(kind); }

  // The verdicts of the target's tap, in order.
  std::vector<std::string> tapVerdicts(int32_t pid = kTarget) const {
    std::vector<std::string> out;
    for (const auto& line : desktop->traceLines("tap")) {
      if (line["pid"] == pid)
        out.push_back(line["verdict"].get<std::string>());
    }
    return out;
  }

  // Message of the HelperFailure `work` raises; "" when it raises none.
  template <class F>
  static std::string failureOf(F&& work) {
    try {
      work();
    } catch (const HelperFailure& failure) {
      return failure.message();
    }
    return "";
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::unique_ptr<ForegroundGuard> guard;  // goes before the desktop
};

}  // namespace cuh::testing
