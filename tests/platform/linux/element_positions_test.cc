#include "platform/linux/element_positions.h"

#include <gtest/gtest.h>

#include <limits>

namespace cuh::linux_desktop {
namespace {

// The toolkits as measured on the test desktop (openbox: frame extents
// 1, 1, 20, 5 on decorated windows), and a client-side-decorated window
// with a shadow as a compositing window manager has it.
struct RuleCase {
  const char* toolkit;
  BusExtents toplevelScreen;
  PixelRect client;
  Extents frame;
  Extents shadow;
  PositionRule expected;
};

TEST(ElementPositionsTest, RuleFollowsWhatTheTopLevelReports) {
  const RuleCase cases[] = {
      {"GTK 3 reports R",
       {60, 60, 482, 585},
       {61, 80, 480, 560},
       {1, 1, 20, 5},
       {},
       {CoordType::screen, 0, 0}},
      {"Qt 5 reports the client area",
       {101, 140, 300, 200},
       {101, 140, 300, 200},
       {1, 1, 20, 5},
       {},
       {CoordType::screen, 0, 0}},
      {"GTK 4 at the origin",
       {0, 0, 1332, 822},
       {0, 0, 1342, 832},
       {},
       {},
       {CoordType::window, 5, 5}},
      {"GTK 4 elsewhere",
       {0, 0, 355, 486},
       {200, 150, 365, 496},
       {1, 1, 20, 5},
       {},
       {CoordType::window, 205, 155}},
      {"GTK 4 inside a shadow",
       {0, 0, 354, 254},
       {100, 100, 400, 300},
       {},
       {23, 23, 15, 31},
       {CoordType::window, 123, 115}},
      {"a top-level larger than its window",
       {0, 0, 500, 500},
       {10, 20, 300, 200},
       {},
       {},
       {CoordType::window, 10, 20}},
  };
  for (const RuleCase& c : cases) {
    EXPECT_EQ(positionRule(c.toplevelScreen, c.client, c.frame, c.shadow), c.expected) << c.toolkit;
  }
}

TEST(ElementPositionsTest, RectanglesMoveByTheRuleAndHiddenObjectsHaveNone) {
  PositionRule screen{CoordType::screen, 0, 0};
  PositionRule window{CoordType::window, 205, 155};
  EXPECT_EQ(elementRectangle(screen, {70, 90, 40, 20}), (PixelRect{70, 90, 40, 20}));
  EXPECT_EQ(elementRectangle(window, {12, 30, 40, 20}), (PixelRect{217, 185, 40, 20}));
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  EXPECT_FALSE(elementRectangle(screen, {kMin, kMin, 0, 0}));
  EXPECT_FALSE(elementRectangle(window, {kMin, 10, 5, 5}));
  // Zero-sized but placed: still a rectangle (what counts as a frame is
  // decided above this layer).
  EXPECT_EQ(elementRectangle(screen, {5, 5, 0, 0}), (PixelRect{5, 5, 0, 0}));
}

}  // namespace
}  // namespace cuh::linux_desktop
