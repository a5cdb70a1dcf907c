// Element positions on screen, whatever the toolkit. Toolkits disagree on
// what their extents mean (measured on Debian 12): GTK 3 and Qt 5 report
// true screen extents (Qt ignores the coordinate type); GTK 4 has no screen
// coordinates at all: both types are relative to its top-level, whose own
// extents read (0, 0, w, h), a few pixels smaller than its X window. So
// the rule is decided once per window, from how its top-level's screen
// extents compare with its X window.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/linux/atspi_client.h"
#include "platform/linux/window_rules.h"

namespace cuh::linux_desktop {

// Where a window's elements are read from.
struct PositionRule {
  // Screen extents as they are; or window-relative extents moved by the
  // offset (the X window's origin plus the margin around the top-level).
  CoordType coordinates = CoordType::screen;
  int64_t offsetX = 0;
  int64_t offsetY = 0;
  friend bool operator==(const PositionRule&, const PositionRule&) = default;
};

// The rule for a window: screen extents where the top-level's screen
// extents agree (within 1 px) with its X client window or with R; else
// window-relative extents plus the client window's origin and the margin
// between the client window and the top-level: the shadow extents where
// they account for it, else equal on every side (half the difference in
// size; none when the top-level is not smaller).
PositionRule positionRule(const BusExtents& toplevelScreen,
                          const PixelRect& client,
                          const Extents& frame,
                          const Extents& shadow);

// Whether extents mean "not shown": toolkits report hidden objects at the
// integer minimum.
bool extentsHidden(const BusExtents& extents);

// An element's screen rectangle from the extents read by the rule's
// coordinate type; none for hidden objects.
std::optional<PixelRect> elementRectangle(const PositionRule& rule, const BusExtents& extents);

}  // namespace cuh::linux_desktop
