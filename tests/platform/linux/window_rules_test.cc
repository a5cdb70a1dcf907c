#include "platform/linux/window_rules.h"

#include <gtest/gtest.h>

#include "platform/linux/foreground_giveback.h"

namespace cuh::linux_desktop {
namespace {

TEST(WindowRulesTest, RectangleGrowsByTheFrameAndShrinksByTheShadow) {
  PixelRect client{61, 80, 480, 560};
  // Server-side decorations (openbox): left, right, top, bottom.
  EXPECT_EQ(windowRectangle(client, {1, 1, 20, 5}, {}), (PixelRect{60, 60, 482, 585}));
  // Client-side decorations: the X window includes an invisible shadow.
  EXPECT_EQ(windowRectangle({100, 100, 400, 300}, {}, {23, 23, 15, 31}),
            (PixelRect{123, 115, 354, 254}));
  EXPECT_EQ(windowRectangle(client, {}, {}), client);
  const unsigned long three[] = {1, 2, 3};
  EXPECT_EQ(extentsFromCardinals(three), Extents{});
  const unsigned long four[] = {1, 2, 3, 4};
  EXPECT_EQ(extentsFromCardinals(four), (Extents{1, 2, 3, 4}));
}

TEST(WindowRulesTest, LayerAlphaAndOnScreen) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(windowLayer(Names{}, false), 0);
  EXPECT_EQ(windowLayer(Names{"_NET_WM_WINDOW_TYPE_DIALOG"}, false), 0);
  EXPECT_EQ(
      windowLayer(Names{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_DOCK"}, false),
      20);
  // The macOS levels of the same kinds, literally: a wrong constant would
  // pass a comparison with itself.
  EXPECT_EQ(windowLayer(Names{"_NET_WM_WINDOW_TYPE_DESKTOP"}, false), -2147483623);
  EXPECT_EQ(windowLayer(Names{"_NET_WM_WINDOW_TYPE_NORMAL"}, true), 101);
  EXPECT_EQ(windowLayer(Names{"_NET_WM_WINDOW_TYPE_POPUP_MENU"}, false), 101);

  EXPECT_EQ(windowAlpha(std::nullopt), 1.0);
  EXPECT_EQ(windowAlpha(0xffffffffUL), 1.0);
  EXPECT_EQ(windowAlpha(0UL), 0.0);
  EXPECT_NEAR(windowAlpha(0x7fffffffUL), 0.5, 1e-9);

  using S = std::vector<std::string>;
  EXPECT_TRUE(windowOnScreen(true, S{}, std::nullopt, 0UL));
  EXPECT_FALSE(windowOnScreen(false, S{}, 0UL, 0UL));
  EXPECT_FALSE(windowOnScreen(true, S{"_NET_WM_STATE_HIDDEN"}, 0UL, 0UL));
  EXPECT_FALSE(windowOnScreen(true, S{}, 1UL, 0UL));
  EXPECT_TRUE(windowOnScreen(true, S{}, 0xffffffffUL, 3UL));  // sticky
}

TEST(WindowRulesTest, DecodesClassNamesAndIcons) {
  EXPECT_EQ(parseWindowClass(std::string_view("mousepad\0Mousepad\0", 18)),
            (WindowClass{"mousepad", "Mousepad"}));
  EXPECT_EQ(parseWindowClass("xterm"), (WindowClass{"xterm", ""}));
  EXPECT_EQ(latin1ToUtf8("caf\xe9"), "caf\xc3\xa9");

  // A 1x1 and a 2x1 image; the larger wins, ARGB becomes RGBA.
  const unsigned long icon[] = {1, 1, 0xff000000UL, 2, 1, 0x80102030UL, 0xff405060UL};
  auto largest = largestIcon(icon);
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->width, 2);
  EXPECT_EQ(largest->rgba, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0xff}));
  // A truncated image after a complete one: the complete one still counts.
  const unsigned long truncated[] = {1, 1, 0xff0000ffUL, 64, 64, 0};
  ASSERT_TRUE(largestIcon(truncated));
  EXPECT_EQ(largestIcon(truncated)->width, 1);
  // An absurd size never allocates.
  const unsigned long absurd[] = {0xffffffffUL, 0xffffffffUL, 0};
  EXPECT_FALSE(largestIcon(absurd));
}

TEST(WindowRulesTest, RestackPlanPutsTheOldOrderBack) {
  using W = std::vector<::Window>;
  using Plan = std::vector<std::pair<::Window, ::Window>>;
  EXPECT_EQ(restackPlan(W{1, 2, 3}, W{1, 2, 3}), Plan{});
  // The back window came to the front: raise the old front, then order.
  EXPECT_EQ(restackPlan(W{1, 2, 3}, W{3, 1, 2}), (Plan{{1, 0}, {2, 1}, {3, 2}}));
  // A difference further down leaves the front alone.
  EXPECT_EQ(restackPlan(W{1, 2, 3}, W{1, 3, 2}), (Plan{{2, 1}, {3, 2}}));
  // New windows (9) stay where they are; gone ones (2) are skipped.
  EXPECT_EQ(restackPlan(W{1, 2, 3}, W{9, 3, 1}), (Plan{{1, 0}, {3, 1}}));
}

}  // namespace
}  // namespace cuh::linux_desktop
