// A small desktop for the background-input tests and benchmarks.
//
// The user's "Terminal" is in front; the target "Notes" has its focused
// window (800 x 600 at (100, 50)) holding a text field, a button and a
// scroll area with a cell, and a second window; "Mail" can come to the
// front; a process that is not an application has a window too.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "protocol/json.h"
#include "support/test_desktop.h"

namespace cuh::testing {

inline constexpr double kWindowX = 100;
inline constexpr double kWindowY = 50;

// A frame given relative to the target window's top-left corner.
inline Json inWindow(double x, double y, double width, double height) {
  return sceneFrame(kWindowX + x, kWindowY + y, width, height);
}

inline Json inputScene() {
  Json pageActions = Json::array(
      {"AXScrollUpByPage", "AXScrollDownByPage", "AXScrollLeftByPage", "AXScrollRightByPage"});
  Json field{{"ref", "field"},
             {"role", "AXTextField"},
             {"title", "Name"},
             {"value", "hello"},
             {"frame", inWindow(10, 10, 200, 24)},
             {"settable", Json::array({"AXFocused", "AXValue", "AXSelectedTextRange"})}};
  Json button{{"ref", "ok"},
              {"role", "AXButton"},
              {"title", "OK"},
              {"frame", inWindow(10, 50, 80, 24)},
              {"actions", Json::array({"AXPress"})}};
  Json scroller{{"ref", "scroller"},
                {"role", "AXScrollArea"},
                {"frame", inWindow(300, 100, 400, 400)},
                {"actions", pageActions},
                {"children", Json::array({Json{{"ref", "cell"},
                                               {"role", "AXStaticText"},
                                               {"value", "row"},
                                               {"frame", inWindow(310, 110, 100, 20)}}})}};
  Json otherField{{"ref", "otherField"},
                  {"role", "AXTextField"},
                  {"value", "other"},
                  {"frame", sceneFrame(1010, 60, 100, 24)},
                  {"settable", Json::array({"AXFocused", "AXSelectedTextRange"})}};
  Json otherScroller{{"ref", "otherScroller"},
                     {"role", "AXScrollArea"},
                     {"frame", sceneFrame(1010, 100, 200, 100)},
                     {"actions", pageActions}};
  return baseScene(Json::array({
      Json{{"id", kTargetWindow},
           {"pid", kTargetPid},
           {"title", "Doc"},
           {"bounds", sceneFrame(kWindowX, kWindowY, 800, 600)},
           {"ax", Json{{"children", Json::array({field, button, scroller})}}}},
      Json{{"id", kSecondWindow},
           {"pid", kTargetPid},
           {"title", "Other"},
           {"bounds", sceneFrame(1000, 50, 300, 200)},
           {"ax", Json{{"children", Json::array({otherField, otherScroller})}}}},
      Json{{"id", kThirdWindow},
           {"pid", kThirdPid},
           {"title", "Inbox"},
           {"bounds", sceneFrame(0, 500, 300, 200)},
           {"ax", Json::object()}},
      Json{{"id", kNoAppWindow},
           {"pid", kNoAppPid},
           {"title", "Daemon"},
           {"bounds", sceneFrame(0, 0, 50, 50)}},
  }));
}

// The app entry of `pid` in a scene, to adjust it.
inline Json& sceneApp(Json& scene, int32_t pid) {
  for (Json& app : scene["apps"]) {
    if (app["pid"] == pid)
      return app;
  }
  throw std::logic_error("no such app in the scene");
}

// A script rule that applies `action` right after the n-th event posted to
// the target.
inline Json afterTargetPosts(int count, Json action) {
  return Json{{"when", Json{{"afterPosts", Json{{"pid", kTargetPid}, {"count", count}}}}},
              {"do", Json::array({std::move(action)})}};
}

}  // namespace cuh::testing
