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

// The observed width and height may differ from the listed ones by this
// much (exactly 1.5 passes).
inline constexpr double kObservedSizeTolerance = 1.5;

struct ObservedWindow {
  platform::Value row;          // the window-server row
  platform::Rect frame;         // its frame (bounds of the row)
  platform::AXElement element;  // the exact accessibility window
};

ObservedWindowParams readObservedWindowParams(const Json& params);

// Finds the row as windowRow does, checks its size and resolves the exact
// window. Raises HelperFailure:
// - "The observed macOS window disappeared. Call get_app_state again" (no
//   row, or a row without a frame);
// - "The observed macOS window resized. Call get_app_state again";
// - the failures of exactWindow, unchanged.
ObservedWindow findObservedWindow(platform::Platform& platform, const ObservedWindowParams& params);

}  // namespace cuh
