// A small desktop for the background-input tests and benchmarks.
//
// The user's "Terminal" (pid 200, window 20) is in front; the target
// "Notes" (pid 100) has window 11 (800 x 600 at (100, 50), its focused
// window) holding a text field, a button and a scroll area with a cell, and
// a second window 12; "Mail" (pid 300, window 30) can come to the front;
// window 40 belongs to pid 400, a process that is not an application.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "protocol/json.h"

namespace cuh::testing {

inline constexpr int32_t kTargetPid = 100;
inline constexpr int32_t kUserPid = 200;
inline constexpr int32_t kOtherPid = 300;
inline constexpr uint32_t kTargetWindow = 11;
inline constexpr uint32_t kSecondWindow = 12;
inline constexpr double kWindowX = 100;
inline constexpr double kWindowY = 50;

inline Json screenFrame(double x, double y, double width, double height) {
  return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}
// A frame given relative to window 11's top-left corner.
inline Json inWindow(double x, double y, double width, double height) {
  return screenFrame(kWindowX + x, kWindowY + y, width, height);
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
                  {"frame", screenFrame(1010, 60, 100, 24)},
                  {"settable", Json::array({"AXFocused", "AXSelectedTextRange"})}};
  Json otherScroller{{"ref", "otherScroller"},
                     {"role", "AXScrollArea"},
                     {"frame", screenFrame(1010, 100, 200, 100)},
                     {"actions", pageActions}};
  return Json{
      {"frontmost", kUserPid},
      {"apps", Json::array({
                   Json{{"pid", kUserPid}, {"name", "Terminal"}},
                   Json{{"pid", kTargetPid}, {"name", "Notes"}, {"focusedWindow", kTargetWindow}},
                   Json{{"pid", kOtherPid}, {"name", "Mail"}},
               })},
      {"windows", Json::array({
                      Json{{"id", 20},
                           {"pid", kUserPid},
                           {"title", "Shell"},
                           {"bounds", screenFrame(0, 0, 500, 400)},
                           {"ax", Json::object()}},
                      Json{{"id", kTargetWindow},
                           {"pid", kTargetPid},
                           {"title", "Doc"},
                           {"bounds", screenFrame(kWindowX, kWindowY, 800, 600)},
                           {"ax", Json{{"children", Json::array({field, button, scroller})}}}},
                      Json{{"id", kSecondWindow},
                           {"pid", kTargetPid},
                           {"title", "Other"},
                           {"bounds", screenFrame(1000, 50, 300, 200)},
                           {"ax", Json{{"children", Json::array({otherField, otherScroller})}}}},
                      Json{{"id", 30},
                           {"pid", kOtherPid},
                           {"title", "Inbox"},
                           {"bounds", screenFrame(0, 500, 300, 200)},
                           {"ax", Json::object()}},
                      Json{{"id", 40},
                           {"pid", 400},
                           {"title", "Daemon"},
                           {"bounds", screenFrame(0, 0, 50, 50)}},
                  })},
  };
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
