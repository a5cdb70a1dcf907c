#include "platform/linux/wheel_steps.h"

namespace cuh::linux_desktop {

uint32_t wheelStepsForPixels(int64_t pixels) {
  if (pixels == 0)
    return 0;
  // The request's amounts are 32-bit, so the magnitude cannot overflow.
  const int64_t magnitude = pixels < 0 ? -pixels : pixels;
  const int64_t steps = (magnitude + kPixelsPerWheelStep / 2) / kPixelsPerWheelStep;
  return static_cast<uint32_t>(steps < 1 ? 1 : steps);
}

std::vector<WheelClicks> wheelClicksForPixels(int64_t dx, int64_t dy) {
  std::vector<WheelClicks> clicks;
  if (dy != 0)
    clicks.push_back({dy > 0 ? kWheelDown : kWheelUp, wheelStepsForPixels(dy)});
  if (dx != 0)
    clicks.push_back({dx > 0 ? kWheelRight : kWheelLeft, wheelStepsForPixels(dx)});
  return clicks;
}

}  // namespace cuh::linux_desktop
