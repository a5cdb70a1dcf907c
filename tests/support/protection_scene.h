// The desktop of the foreground-protection tests: the user's terminal in
// front, a background notes app with two windows, and a third app.
#pragma once

#include <cstdint>

#include "platform/foreground.h"
#include "protocol/json.h"

namespace cuh::testing {

inline constexpr int32_t kUser = 100;          // the user's frontmost app
inline constexpr uint32_t kUserWindow = 11;    // its front window
inline constexpr int32_t kTarget = 200;        // the background target
inline constexpr uint32_t kTargetWindow = 21;  // its focused window
inline constexpr uint32_t kOtherWindow = 22;   // its second window
inline constexpr int32_t kThird = 300;         // another app
inline constexpr uint32_t kThirdWindow = 31;

inline platform::ForegroundSnapshot userForeground() {
  return {kUser, kUserWindow};
}

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

}  // namespace cuh::testing
