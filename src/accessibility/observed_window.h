// The window part of an observation request ("accessibility_tree",
// "resolve_element"): the window the caller names by pid and window id must
// still be listed, with the size the caller observed, and must match exactly
// one accessibility window.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// "pid", "windowId", "width" and "height", read in this order.
struct ObservedWindowParams {
  int32_t pid = 0;
  uint32_t windowID = 0;
  double width = 0;
  double height = 0;
};

struct ObservedWindow {
  platform::Value row;          // the window-server row
  platform::Rect frame;         // its frame (bounds of the row)
  platform::AXElement element;  // the exact accessibility window
};

ObservedWindowParams readObservedWindowParams(const Json& params);

// Checks the window as checkObservedWindow does, with the usual messages,
// and resolves the exact window; the failures of exactWindow propagate.
ObservedWindow findObservedWindow(platform::Platform& platform, const ObservedWindowParams& params);

}  // namespace cuh
