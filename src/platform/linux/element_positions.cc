#include "platform/linux/element_positions.h"

#include <cstdlib>
#include <limits>

namespace cuh::linux_desktop {
namespace {

bool near(int64_t a, int64_t b) {
  return std::llabs(a - b) <= 1;
}

bool agrees(const BusExtents& extents, const PixelRect& rect) {
  return near(extents.x, rect.x) && near(extents.y, rect.y) && near(extents.width, rect.width) &&
         near(extents.height, rect.height);
}

}  // namespace

PositionRule positionRule(const BusExtents& toplevelScreen,
                          const PixelRect& client,
                          const Extents& frame,
                          const Extents& shadow) {
  if (agrees(toplevelScreen, client) ||
      agrees(toplevelScreen, windowRectangle(client, frame, shadow)))
    return PositionRule{CoordType::screen, 0, 0};
  PositionRule rule{CoordType::window, client.x, client.y};
  int64_t spareWidth = client.width - toplevelScreen.width;
  int64_t spareHeight = client.height - toplevelScreen.height;
  if ((shadow.left || shadow.top) && near(spareWidth, shadow.left + shadow.right) &&
      near(spareHeight, shadow.top + shadow.bottom)) {
    rule.offsetX += shadow.left;
    rule.offsetY += shadow.top;
  } else {
    rule.offsetX += spareWidth > 0 ? spareWidth / 2 : 0;
    rule.offsetY += spareHeight > 0 ? spareHeight / 2 : 0;
  }
  return rule;
}

bool extentsHidden(const BusExtents& extents) {
  constexpr int32_t kMinimum = std::numeric_limits<int32_t>::min();
  return extents.x == kMinimum || extents.y == kMinimum;
}

std::optional<PixelRect> elementRectangle(const PositionRule& rule, const BusExtents& extents) {
  if (extentsHidden(extents))
    return std::nullopt;
  PixelRect rect{extents.x, extents.y, extents.width, extents.height};
  if (rule.coordinates != CoordType::screen) {
    rect.x += rule.offsetX;
    rect.y += rule.offsetY;
  }
  return rect;
}

}  // namespace cuh::linux_desktop
