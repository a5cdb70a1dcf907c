// Background input: a planned gesture (click, drag, scroll, keystroke)
// carried out on one window of a target process and delivered to that
// process only. The pointer, the user's front window and the desktop's
// keyboard focus stay as they are. Which gesture, where, and what to check
// before and after is the caller's policy; the target's window has been put
// into synthetic active state by the foreground protection first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "platform/geometry.h"

namespace cuh::platform {

enum class MouseButton { left, right };
enum class ScrollUnit { pixel, line };

// The modifier flags of a keystroke: the protocol's values (the bits of the
// macOS event flags). A backend maps each to its own modifier key; other
// bits are carried, not pressed.
inline constexpr uint64_t kKeyFlagShift = 0x20000;
inline constexpr uint64_t kKeyFlagControl = 0x40000;
inline constexpr uint64_t kKeyFlagOption = 0x80000;
inline constexpr uint64_t kKeyFlagCommand = 0x100000;
inline constexpr uint64_t kKeyFlagFunction = 0x800000;

// `clickCount` clicks (1 to 3) of `button` at `point`, counted as one
// double or triple click by the target.
struct Click {
  MouseButton button = MouseButton::left;
  int64_t clickCount = 1;
  Point point;
};

// The left button pressed at the first point of `path`, moved through the
// following ones and released at the last (at least two points).
struct Drag {
  std::vector<Point> path;
};

// One scroll at `point` by `dx` and `dy` units; positive values scroll
// towards the end (right, down). Neither is INT32_MIN.
struct Scroll {
  ScrollUnit unit = ScrollUnit::pixel;
  int32_t dx = 0;
  int32_t dy = 0;
  Point point;
};

// One key, given by its protocol key code (a macOS virtual key code), with
// the modifiers of `flags` pressed before it and released after it in
// reverse order.
struct Keystroke {
  uint16_t keyCode = 0;
  uint64_t flags = 0;
};

using Gesture = std::variant<Click, Drag, Scroll, Keystroke>;

// A gesture placed on its window: its points in screen coordinates, and the
// window's frame as the caller found it just now.
struct PlacedGesture {
  Rect windowFrame;
  Gesture gesture;
};

enum class InputOutcome {
  // Every event of the gesture was delivered.
  sent,
  // `place` returned none: nothing was built or sent.
  notPlaced,
  // An event could not be built. Nothing was sent, except for a multiple
  // click, whose earlier clicks stay sent.
  eventNotCreated,
  // The event of a modifier key could not be built. Nothing was sent.
  modifierEventNotCreated,
  // This desktop cannot send background input yet: `place` did not run,
  // nothing was sent.
  unavailable,
  // The key has no key on this desktop's keyboard. Nothing was sent.
  keyNotOnKeyboard,
  // A point of the gesture lies outside the window's own area, on a frame
  // (title bar, edge) that the window manager owns, where a press would
  // move or raise the window. Nothing was sent.
  pointOutsideWindowArea,
  // The gesture takes more events than this desktop sends for one request
  // (a scroll of too many wheel steps). Nothing was sent.
  amountTooLarge,
};

// Runs once, first: re-validates the target and places the gesture, or
// returns none to send nothing.
using PlaceGesture = std::function<std::optional<PlacedGesture>()>;

class BackgroundInput {
 public:
  virtual ~BackgroundInput() = default;

  // Carries out the gesture `place` gives on window `windowID` of process
  // `pid`. `place` runs once, before any event of the gesture is built or
  // sent, so nothing the gesture takes (event numbers, time stamps) is used
  // up by a gesture that is refused. Every event of a gesture is built
  // before its first is sent (for a click, both halves of each click before
  // its press), so that a failure to build never leaves a button or key
  // held. The pauses inside a click block the main thread (on macOS 0.02 s
  // between press and release, 0.06 s between clicks).
  virtual InputOutcome send(int32_t pid, uint32_t windowID, const PlaceGesture& place) = 0;
};

}  // namespace cuh::platform
