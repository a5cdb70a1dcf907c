// "accessibility_tree": a pre-order, depth-first snapshot of the accessibility
// tree of one exact window, one row per element, starting with the window.
#pragma once

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// Limits of one snapshot.
inline constexpr size_t kTreeRowLimit = 600;
inline constexpr size_t kTreeChildLimit = 100;  // first children of each element
inline constexpr int kTreeExpandDepth = 13;     // deepest element whose children are read

// "accessibility_tree": reads "pid", "windowId", "width" and
// "height", checks the observed window (see observed_window.h for the
// failures) and returns the array of rows. The dispatcher wraps it as
// {"elements": rows}.
Json accessibilityTree(platform::Platform& platform, const Json& params);

// The walk itself, for a window element already resolved: rows relative to
// `windowFrame` (the window's frame in the window list). Never fails; what
// cannot be read takes its default.
Json snapshotRows(platform::Accessibility& ax,
                  const platform::AXElement& window,
                  const platform::Rect& windowFrame);

}  // namespace cuh
