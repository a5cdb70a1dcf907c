// The pure pieces of background input on X11: the macOS key codes and flags
// as X keysyms and state, event timestamps, wheel clicks.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/linux/event_stamps.h"
#include "platform/linux/mac_keys.h"
#include "platform/linux/wheel_steps.h"

namespace cuh::linux_desktop {
namespace {

TEST(MacKeysTest, KeyCodesTypeWhatAUsLayoutTypesThere) {
  // The codes name positions, not characters; these are the ones whose
  // order on the keyboard does not follow the code's order.
  const struct {
    uint16_t code;
    KeySym keysym;
  } cases[] = {
      {0x00, XK_a},           {0x06, XK_z},         {0x10, XK_y},
      {0x11, XK_t},           {0x16, XK_6},         {0x17, XK_5},
      {0x1A, XK_7},           {0x1C, XK_8},         {0x1E, XK_bracketright},
      {0x21, XK_bracketleft}, {0x24, XK_Return},    {0x27, XK_apostrophe},
      {0x32, XK_grave},       {0x33, XK_BackSpace}, {0x75, XK_Delete},
      {0x35, XK_Escape},      {0x74, XK_Prior},     {0x79, XK_Next},
      {0x7B, XK_Left},        {0x7E, XK_Up},        {0x7A, XK_F1},
      {0x78, XK_F2},          {0x63, XK_F3},        {0x6F, XK_F12},
      {0x4C, XK_KP_Enter},    {0x52, XK_KP_0},      {0x5B, XK_KP_8},
  };
  for (const auto& c : cases)
    EXPECT_EQ(keysymForMacKeyCode(c.code), c.keysym) << "key code " << c.code;
  // Codes macOS leaves unused, the Fn key, and codes past the table.
  for (uint16_t code : {0x34, 0x3F, 0x42, 0x7F, 0xFFFF})
    EXPECT_EQ(keysymForMacKeyCode(code), std::nullopt) << "key code " << code;
}

TEST(MacKeysTest, ModifierTableAgreesWithTheKeyTable) {
  const auto modifiers = macModifiers();
  ASSERT_EQ(modifiers.size(), 5u);
  uint64_t seen = 0;
  for (const MacModifier& m : modifiers) {
    EXPECT_EQ(seen & m.flag, 0u) << "flag listed twice";
    seen |= m.flag;
    // The key pressed for a modifier is the one its own key code types;
    // Fn has none.
    EXPECT_EQ(keysymForMacKeyCode(m.macKeyCode).value_or(NoSymbol), m.keysym);
  }
  // Press order: Command, Control, Shift, Option, Fn.
  EXPECT_EQ(modifiers[0].keysym, XK_Super_L);
  EXPECT_EQ(modifiers[3].keysym, XK_Alt_L);
  EXPECT_EQ(modifiers[4].macKeyCode, 63);
}

TEST(MacKeysTest, FlagsBecomeTheDisplaysModifierState) {
  ModifierMasks masks;
  masks.command = Mod4Mask;
  EXPECT_EQ(xStateForMacFlags(0, masks), 0u);
  EXPECT_EQ(xStateForMacFlags(0x100000 | 0x20000, masks), Mod4Mask | ShiftMask);
  EXPECT_EQ(xStateForMacFlags(0x40000 | 0x80000, masks), ControlMask | Mod1Mask);
  // Fn, caps lock and device bits have no X modifier.
  EXPECT_EQ(xStateForMacFlags(0x800000 | 0x10000 | 0x2, masks), 0u);
  // A display with no Super key gives Command nothing.
  EXPECT_EQ(xStateForMacFlags(0x100000, ModifierMasks{}), 0u);
}

TEST(EventStampsTest, StampsAlwaysIncreaseAndAreNeverCurrentTime) {
  EventStamps stamps(400);
  EXPECT_EQ(stamps.next(1000), 1000u);
  // The server's time read again may not have moved, or the reading may be
  // older than a stamp given out.
  EXPECT_EQ(stamps.next(1000), 1001u);
  EXPECT_EQ(stamps.next(900), 1002u);
  EXPECT_EQ(stamps.next(5000), 5000u);
  // Around the wrap of the 32-bit time, 0 is skipped and later stays later.
  EventStamps wrapping(400);
  EXPECT_EQ(wrapping.next(0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(wrapping.next(0xFFFFFFFFu), 1u);
  EXPECT_TRUE(isLaterStamp(1, 0xFFFFFFFFu));
  EXPECT_EQ(wrapping.next(0xFFFFFFF0u), 2u);
  EventStamps fresh(400);
  EXPECT_EQ(fresh.next(CurrentTime), 1u);
}

TEST(EventStampsTest, SeparateClickRequestsNeverMergeAndOneRequestsClicksDo) {
  const uint32_t doubleClick = 400;
  EventStamps stamps(doubleClick);
  // A double click: press, release, press, release, one past another.
  const Time first = stamps.firstPress(10'000);
  const Time release = stamps.following();
  const Time second = stamps.press();
  EXPECT_EQ(first, 10'000u);
  EXPECT_EQ(release, 10'001u);
  EXPECT_EQ(second, 10'002u);
  EXPECT_LT(second - first, doubleClick);
  stamps.following();
  // The next request, sent right away: its first press is moved past the
  // double-click time after the last press; a toolkit counts a second click
  // only when the gap is less than that.
  const Time next = stamps.firstPress(10'010);
  EXPECT_GT(next - second, doubleClick);
  // A request long after keeps the server's time.
  EXPECT_EQ(stamps.firstPress(20'000), 20'000u);
}

TEST(WheelStepsTest, PixelsBecomeWheelClicksOfFortyPixels) {
  const struct {
    int64_t pixels;
    uint32_t steps;
  } cases[] = {
      {0, 0},
      {1, 1},
      {19, 1},
      {20, 1},
      {59, 1},
      {60, 2},
      {80, 2},
      {-100, 3},
      {-1, 1},
      {std::numeric_limits<int32_t>::min(), 53'687'091},
      {std::numeric_limits<int32_t>::max(), 53'687'091},
  };
  for (const auto& c : cases)
    EXPECT_EQ(wheelStepsForPixels(c.pixels), c.steps) << c.pixels << " pixels";
}

TEST(WheelStepsTest, DirectionsAreTheWheelButtonsVerticalFirst) {
  using Clicks = std::vector<WheelClicks>;
  EXPECT_EQ(wheelClicksForPixels(0, 0), Clicks{});
  EXPECT_EQ(wheelClicksForPixels(0, 120), (Clicks{{kWheelDown, 3}}));
  EXPECT_EQ(wheelClicksForPixels(0, -40), (Clicks{{kWheelUp, 1}}));
  EXPECT_EQ(wheelClicksForPixels(80, -40), (Clicks{{kWheelUp, 1}, {kWheelRight, 2}}));
  EXPECT_EQ(wheelClicksForPixels(-5, 0), (Clicks{{kWheelLeft, 1}}));
}

}  // namespace
}  // namespace cuh::linux_desktop
