// The X events of each background gesture: what a device would make the
// server deliver, in order, with the state and stamps toolkits check.
// gtest goes before the X headers, whose None macro breaks it.
#include <gtest/gtest.h>

#include "platform/linux/x_input_events.h"

#include <string>
#include <vector>

namespace cuh::linux_desktop {
namespace {

const EventWindow kTarget{0x400003, 0x1dd, 100, 50};

// One event as the tests read it: its type and the field that matters.
struct Seen {
  int type;
  unsigned detail;  // button or keycode; 0 for crossing and motion
  unsigned state;
  friend bool operator==(const Seen&, const Seen&) = default;
};

std::vector<Seen> seen(const std::vector<TimedEvent>& events) {
  std::vector<Seen> out;
  for (const TimedEvent& timed : events) {
    const XEvent& e = timed.event;
    switch (e.type) {
      case ButtonPress:
      case ButtonRelease:
        out.push_back({e.type, e.xbutton.button, e.xbutton.state});
        break;
      case KeyPress:
      case KeyRelease:
        out.push_back({e.type, e.xkey.keycode, e.xkey.state});
        break;
      case MotionNotify:
        out.push_back({e.type, 0, e.xmotion.state});
        break;
      default:
        out.push_back({e.type, 0, e.xcrossing.state});
    }
  }
  return out;
}

// Every event goes to the target window, at its own coordinates, with the
// root position beside them, and stamps that increase and are never 0.
void expectAddressedAndStamped(const std::vector<TimedEvent>& events) {
  Time last = 0;
  for (const TimedEvent& timed : events) {
    const XButtonEvent& e = timed.event.xbutton;  // the shared layout
    EXPECT_EQ(e.window, kTarget.window);
    EXPECT_EQ(e.root, kTarget.root);
    EXPECT_EQ(e.send_event, True);
    EXPECT_NE(e.time, static_cast<Time>(CurrentTime));
    if (last != 0) {
      EXPECT_TRUE(isLaterStamp(e.time, last)) << e.time << " after " << last;
    }
    last = e.time;
    if (e.type != KeyPress && e.type != KeyRelease) {
      EXPECT_EQ(e.x_root, kTarget.originX + e.x);
      EXPECT_EQ(e.y_root, kTarget.originY + e.y);
    }
  }
}

TEST(XInputEventsTest, ClicksAreEnterMotionPressReleasePerClickAndLeave) {
  const struct {
    unsigned button;
    int count;
    std::vector<Seen> expected;
  } cases[] = {
      {1,
       1,
       {{EnterNotify, 0, 0},
        {MotionNotify, 0, 0},
        {ButtonPress, 1, 0},
        {ButtonRelease, 1, Button1Mask},
        {LeaveNotify, 0, 0}}},
      {3,
       1,
       {{EnterNotify, 0, 0},
        {MotionNotify, 0, 0},
        {ButtonPress, 3, 0},
        {ButtonRelease, 3, Button3Mask},
        {LeaveNotify, 0, 0}}},
      {1,
       3,
       {{EnterNotify, 0, 0},
        {MotionNotify, 0, 0},
        {ButtonPress, 1, 0},
        {ButtonRelease, 1, Button1Mask},
        {ButtonPress, 1, 0},
        {ButtonRelease, 1, Button1Mask},
        {ButtonPress, 1, 0},
        {ButtonRelease, 1, Button1Mask},
        {LeaveNotify, 0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("button " + std::to_string(c.button) + " x" + std::to_string(c.count));
    EventStamps stamps(400);
    auto events = clickEvents(kTarget, {12, 34}, c.button, c.count, stamps, 5000);
    EXPECT_EQ(seen(events), c.expected);
    expectAddressedAndStamped(events);
    for (const TimedEvent& timed : events) {
      EXPECT_EQ(timed.event.xbutton.x, 12);
      EXPECT_EQ(timed.event.xbutton.y, 34);
    }
    // The presses of one request lie within the double-click time, with
    // a hand's pauses between them.
    Time firstPress = events[2].event.xbutton.time;
    Time lastPress = events[events.size() - 3].event.xbutton.time;
    EXPECT_LT(lastPress - firstPress, 400u);
    EXPECT_EQ(events[3].pauseBefore, kPressReleasePause);
    if (c.count > 1) {
      EXPECT_EQ(events[4].pauseBefore, kBetweenClicksPause);
    }
  }
}

TEST(XInputEventsTest, ADragHoldsTheButtonThroughItsMotions) {
  EventStamps stamps(400);
  auto events = dragEvents(kTarget, {{10, 10}, {20, 10}, {30, 12}}, stamps, 7000);
  EXPECT_EQ(seen(events), (std::vector<Seen>{{EnterNotify, 0, 0},
                                             {MotionNotify, 0, 0},
                                             {ButtonPress, 1, 0},
                                             {MotionNotify, 0, Button1Mask},
                                             {MotionNotify, 0, Button1Mask},
                                             {ButtonRelease, 1, Button1Mask},
                                             {LeaveNotify, 0, 0}}));
  expectAddressedAndStamped(events);
  EXPECT_EQ(events[5].event.xbutton.x, 30);
  EXPECT_EQ(events[5].event.xbutton.y, 12);
  EXPECT_TRUE(dragEvents(kTarget, {{1, 1}}, stamps, 7000).empty());
}

TEST(XInputEventsTest, WheelClicksAreButtonPairsVerticalThenHorizontal) {
  EventStamps stamps(400);
  auto events = wheelEvents(kTarget, {5, 6}, {{kWheelDown, 2}, {kWheelLeft, 1}}, stamps, 100);
  EXPECT_EQ(seen(events), (std::vector<Seen>{{EnterNotify, 0, 0},
                                             {MotionNotify, 0, 0},
                                             {ButtonPress, 5, 0},
                                             {ButtonRelease, 5, Button5Mask},
                                             {ButtonPress, 5, 0},
                                             {ButtonRelease, 5, Button5Mask},
                                             {ButtonPress, 6, 0},
                                             {ButtonRelease, 6, 0},
                                             {LeaveNotify, 0, 0}}));
  expectAddressedAndStamped(events);
}

TEST(XInputEventsTest, ModifiersGoDownInOrderAroundTheKeyAndTheStateFollowsThem) {
  EventStamps stamps(400);
  const HeldModifier control{37, ControlMask};
  const HeldModifier shift{50, ShiftMask};
  auto events = keyEvents(kTarget, {control, shift}, 38, stamps, 900);
  EXPECT_EQ(seen(events), (std::vector<Seen>{{KeyPress, 37, 0},
                                             {KeyPress, 50, ControlMask},
                                             {KeyPress, 38, ControlMask | ShiftMask},
                                             {KeyRelease, 38, ControlMask | ShiftMask},
                                             {KeyRelease, 50, ControlMask | ShiftMask},
                                             {KeyRelease, 37, ControlMask}}));
  expectAddressedAndStamped(events);
  auto plain = keyEvents(kTarget, {}, 38, stamps, 900);
  EXPECT_EQ(seen(plain), (std::vector<Seen>{{KeyPress, 38, 0}, {KeyRelease, 38, 0}}));
}

TEST(XInputEventsTest, FocusChangesComeAsFromTheWindowManager) {
  for (int type : {FocusIn, FocusOut}) {
    XEvent e = focusEvent(type, kTarget.window);
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.xfocus.window, kTarget.window);
    EXPECT_EQ(e.xfocus.mode, NotifyNormal);
    EXPECT_EQ(e.xfocus.detail, NotifyNonlinear);
  }
}

}  // namespace
}  // namespace cuh::linux_desktop
