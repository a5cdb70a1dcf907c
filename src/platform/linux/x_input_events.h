// The X events of one background gesture, built before any is sent: what a
// real device would make the server deliver to the window under the
// pointer (enter, motion, presses and releases, leave; key presses and
// releases with their modifiers), addressed to one client window at its
// own coordinates, stamped by EventStamps. Pure: nothing here talks to the
// server.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/linux/event_stamps.h"
#include "platform/linux/wheel_steps.h"

namespace cuh::linux_desktop {

// Where the events go: the client window, its root, and the window's
// origin in root coordinates (for the events' root positions).
struct EventWindow {
  ::Window window = 0;
  ::Window root = 0;
  int originX = 0;
  int originY = 0;
};

struct WindowPoint {
  int x = 0;
  int y = 0;
};

// One event and the pause before it is sent (a click's press and release
// are apart as a hand makes them; see the pause constants).
struct TimedEvent {
  XEvent event{};
  std::chrono::milliseconds pauseBefore{0};
};

// The pauses inside a click, as on the other desktops.
inline constexpr std::chrono::milliseconds kPressReleasePause{20};
inline constexpr std::chrono::milliseconds kBetweenClicksPause{60};

// A focus change of `window` (FocusIn or FocusOut) as the server reports
// a window getting or losing the keyboard from another top-level.
XEvent focusEvent(int type, ::Window window);

// `count` clicks of `button` at `point`: enter, motion, then press and
// release per click (all presses of the request within the double-click
// time), then leave. `serverNow` is the server's time.
std::vector<TimedEvent> clickEvents(const EventWindow& target,
                                    WindowPoint point,
                                    unsigned button,
                                    int count,
                                    EventStamps& stamps,
                                    Time serverNow);

// A left-button drag through `path` (at least two points): enter and
// motion at the first, press, a motion per further point with the button
// held, release at the last, leave.
std::vector<TimedEvent> dragEvents(const EventWindow& target,
                                   const std::vector<WindowPoint>& path,
                                   EventStamps& stamps,
                                   Time serverNow);

// Wheel clicks at `point`: enter, motion, a press and release of the wheel
// button per click, leave.
std::vector<TimedEvent> wheelEvents(const EventWindow& target,
                                    WindowPoint point,
                                    const std::vector<WheelClicks>& clicks,
                                    EventStamps& stamps,
                                    Time serverNow);

// A modifier key to hold around a key: its keycode and its state mask.
struct HeldModifier {
  unsigned keycode = 0;
  unsigned mask = 0;
};

// `keycode` with `modifiers` pressed before it (in order) and released
// after it (in reverse). Each event's state is the modifiers held when it
// happens, as the server reports it (a key's own mask not yet in its
// press, still in its release).
std::vector<TimedEvent> keyEvents(const EventWindow& target,
                                  const std::vector<HeldModifier>& modifiers,
                                  unsigned keycode,
                                  EventStamps& stamps,
                                  Time serverNow);

}  // namespace cuh::linux_desktop
