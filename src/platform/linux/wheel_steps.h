// Scrolling as wheel buttons: X has no pixel scroll event for a window, so
// an amount becomes clicks of the wheel buttons (4 up, 5 down, 6 left,
// 7 right), one per line, or one per 40 pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace cuh::linux_desktop {

inline constexpr unsigned kWheelUp = 4;
inline constexpr unsigned kWheelDown = 5;
inline constexpr unsigned kWheelLeft = 6;
inline constexpr unsigned kWheelRight = 7;
inline constexpr int64_t kPixelsPerWheelStep = 40;

// How many wheel clicks an amount of pixels makes: rounded to the nearest
// (halves away from zero), at least one for any non-zero amount.
uint32_t wheelStepsForPixels(int64_t pixels);

struct WheelClicks {
  unsigned button = 0;
  uint32_t count = 0;
  friend bool operator==(const WheelClicks&, const WheelClicks&) = default;
};

// The wheel clicks of a scroll by (dx, dy) pixels, positive dx toward the
// right and positive dy down (toward the end of the content): the vertical
// clicks first, then the horizontal; an axis without movement has none.
std::vector<WheelClicks> wheelClicksForPixels(int64_t dx, int64_t dy);

}  // namespace cuh::linux_desktop
