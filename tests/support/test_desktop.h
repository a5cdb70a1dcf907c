// The simulated desktop of one test, on the virtual clock: one numbering of
// processes and windows for every test scene, and what every fixture does
// with its desktop: running the main loop, applying script actions, reading
// the trace, reaching windows.
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

// The user's application, in front, and its front window.
inline constexpr int32_t kUserPid = 100;
inline constexpr uint32_t kUserWindow = 11;
// The background application a request acts on: its focused window and a
// second one.
inline constexpr int32_t kTargetPid = 200;
inline constexpr uint32_t kTargetWindow = 21;
inline constexpr uint32_t kSecondWindow = 22;
// Another application, which the user may bring to the front.
inline constexpr int32_t kThirdPid = 300;
inline constexpr uint32_t kThirdWindow = 31;
// A process that is not an application, with a window.
inline constexpr int32_t kNoAppPid = 400;
inline constexpr uint32_t kNoAppWindow = 41;

// A frame (an element's) or bounds (a window's) as a scene gives it.
inline Json sceneFrame(double x, double y, double width, double height) {
  return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// The desktop every test scene starts from: the user's terminal in front with
// its window, the target application (whose focused window is
// kTargetWindow) and a third application. A scene adds its windows behind
// the user's (`windows`, front to back) and may change the rest.
inline Json baseScene(Json windows = Json::array()) {
  Json userWindow{{"id", kUserWindow},
                  {"pid", kUserPid},
                  {"title", "shell"},
                  {"bounds", sceneFrame(0, 0, 800, 600)},
                  {"ax", Json{{"ref", "term"}}}};
  windows.insert(windows.begin(), std::move(userWindow));
  return Json{
      {"frontmost", kUserPid},
      {"apps",
       Json::array({Json{{"pid", kUserPid}, {"name", "Terminal"}},
                    Json{{"pid", kTargetPid}, {"name", "Notes"}, {"focusedWindow", kTargetWindow}},
                    Json{{"pid", kThirdPid}, {"name", "Mail"}}})},
      {"windows", std::move(windows)},
  };
}

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
