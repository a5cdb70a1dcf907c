#include "platform/linux/x_input_events.h"

namespace cuh::linux_desktop {
namespace {

// The core state mask of a held button; the horizontal wheel buttons have
// none.
unsigned buttonMask(unsigned button) {
  switch (button) {
    case 1:
      return Button1Mask;
    case 2:
      return Button2Mask;
    case 3:
      return Button3Mask;
    case 4:
      return Button4Mask;
    case 5:
      return Button5Mask;
    default:
      return 0;
  }
}

// The fields every pointer event has, in window and root coordinates.
template <typename PointerEvent>
void placePointerEvent(PointerEvent& e,
                       const EventWindow& target,
                       WindowPoint point,
                       Time time,
                       unsigned state) {
  e.window = target.window;
  e.root = target.root;
  e.time = time;
  e.x = point.x;
  e.y = point.y;
  e.x_root = target.originX + point.x;
  e.y_root = target.originY + point.y;
  e.state = state;
  e.same_screen = True;
}

TimedEvent pointerEvent(int type,
                        const EventWindow& target,
                        WindowPoint point,
                        Time time,
                        unsigned state,
                        unsigned button = 0) {
  TimedEvent timed;
  XEvent& event = timed.event;
  event.type = type;
  event.xany.send_event = True;
  // The kinds lay their fields out differently: each is filled through
  // its own member; crossing events add mode, detail and focus.
  if (type == EnterNotify || type == LeaveNotify) {
    XCrossingEvent& e = event.xcrossing;
    placePointerEvent(e, target, point, time, state);
    e.mode = NotifyNormal;
    e.detail = NotifyNonlinear;
    e.focus = True;
  } else if (type == MotionNotify) {
    XMotionEvent& e = event.xmotion;
    placePointerEvent(e, target, point, time, state);
    e.is_hint = NotifyNormal;
  } else {
    XButtonEvent& e = event.xbutton;
    placePointerEvent(e, target, point, time, state);
    e.button = button;
  }
  return timed;
}

// Enter and motion at `point`, where every gesture begins.
void arrive(std::vector<TimedEvent>& events,
            const EventWindow& target,
            WindowPoint point,
            EventStamps& stamps,
            Time serverNow) {
  events.push_back(pointerEvent(EnterNotify, target, point, stamps.next(serverNow), 0));
  events.push_back(pointerEvent(MotionNotify, target, point, stamps.following(), 0));
}

}  // namespace

XEvent focusEvent(int type, ::Window window) {
  XEvent event{};
  event.type = type;
  event.xany.send_event = True;
  event.xfocus.window = window;
  event.xfocus.mode = NotifyNormal;
  event.xfocus.detail = NotifyNonlinear;
  return event;
}

std::vector<TimedEvent> clickEvents(const EventWindow& target,
                                    WindowPoint point,
                                    unsigned button,
                                    int count,
                                    EventStamps& stamps,
                                    Time serverNow) {
  std::vector<TimedEvent> events;
  arrive(events, target, point, stamps, serverNow);
  for (int k = 1; k <= count; ++k) {
    Time pressTime = k == 1 ? stamps.firstPress(serverNow) : stamps.press();
    TimedEvent press = pointerEvent(ButtonPress, target, point, pressTime, 0, button);
    if (k > 1)
      press.pauseBefore = kBetweenClicksPause;
    events.push_back(press);
    TimedEvent release =
        pointerEvent(ButtonRelease, target, point, stamps.following(), buttonMask(button), button);
    release.pauseBefore = kPressReleasePause;
    events.push_back(release);
  }
  events.push_back(pointerEvent(LeaveNotify, target, point, stamps.following(), 0));
  return events;
}

std::vector<TimedEvent> dragEvents(const EventWindow& target,
                                   const std::vector<WindowPoint>& path,
                                   EventStamps& stamps,
                                   Time serverNow) {
  std::vector<TimedEvent> events;
  if (path.size() < 2)
    return events;
  arrive(events, target, path.front(), stamps, serverNow);
  events.push_back(
      pointerEvent(ButtonPress, target, path.front(), stamps.firstPress(serverNow), 0, 1));
  for (size_t i = 1; i < path.size(); ++i) {
    events.push_back(pointerEvent(MotionNotify, target, path[i], stamps.following(), Button1Mask));
  }
  events.push_back(
      pointerEvent(ButtonRelease, target, path.back(), stamps.following(), Button1Mask, 1));
  events.push_back(pointerEvent(LeaveNotify, target, path.back(), stamps.following(), 0));
  return events;
}

std::vector<TimedEvent> wheelEvents(const EventWindow& target,
                                    WindowPoint point,
                                    const std::vector<WheelClicks>& clicks,
                                    EventStamps& stamps,
                                    Time serverNow) {
  std::vector<TimedEvent> events;
  arrive(events, target, point, stamps, serverNow);
  for (const WheelClicks& wheel : clicks) {
    for (uint32_t i = 0; i < wheel.count; ++i) {
      events.push_back(
          pointerEvent(ButtonPress, target, point, stamps.following(), 0, wheel.button));
      events.push_back(pointerEvent(ButtonRelease, target, point, stamps.following(),
                                    buttonMask(wheel.button), wheel.button));
    }
  }
  events.push_back(pointerEvent(LeaveNotify, target, point, stamps.following(), 0));
  return events;
}

std::vector<TimedEvent> keyEvents(const EventWindow& target,
                                  const std::vector<HeldModifier>& modifiers,
                                  unsigned keycode,
                                  EventStamps& stamps,
                                  Time serverNow) {
  std::vector<TimedEvent> events;
  unsigned state = 0;
  bool first = true;
  auto key = [&](int type, unsigned code) {
    TimedEvent timed;
    XKeyEvent& e = timed.event.xkey;
    e.type = type;
    e.send_event = True;
    e.window = target.window;
    e.root = target.root;
    e.time = first ? stamps.next(serverNow) : stamps.following();
    first = false;
    e.x = e.y = 0;
    e.x_root = target.originX;
    e.y_root = target.originY;
    e.state = state;
    e.keycode = code;
    e.same_screen = True;
    events.push_back(timed);
  };
  for (const HeldModifier& modifier : modifiers) {
    key(KeyPress, modifier.keycode);
    state |= modifier.mask;
  }
  key(KeyPress, keycode);
  key(KeyRelease, keycode);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
    key(KeyRelease, it->keycode);
    state &= ~it->mask;
  }
  return events;
}

}  // namespace cuh::linux_desktop
