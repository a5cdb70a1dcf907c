// The desktop of the foreground-protection tests: the base desktop with the
// third app's window, and the target's two windows.
#pragma once

#include <cstdint>

#include "platform/foreground.h"
#include "protocol/json.h"
#include "support/test_desktop.h"

namespace cuh::testing {

inline platform::ForegroundSnapshot userForeground() {
  return {kUserPid, kUserWindow};
}

inline Json guardScene() {
  return baseScene(Json::parse(R"([
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
  ])"));
}

}  // namespace cuh::testing
