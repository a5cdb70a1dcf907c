// The events of background input, dressed exactly as a target process
// expects them: the halves of a click, the events of a drag path, the pixel
// or line wheel event, and a keystroke with its modifier keys.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/background_input.h"
#include "platform/quartz/events.h"

namespace cuh::quartz {

// ---- Click ----

// The pause between a click's down and up, and between two clicks.
inline constexpr double kClickDownUpPause = 0.02;
inline constexpr double kClickInterClickPause = 0.06;
// How far each click's timestamp lies after the previous one's.
inline constexpr double kClickTimestampStep = 0.08;

struct ClickButton {
  uint32_t downType;
  uint32_t upType;
  int64_t buttonNumber;
};
// Left → types 1/2, button 0; right → types 3/4, button 1.
ClickButton clickButton(platform::MouseButton button);

// One half of a click, built as an event object and then dressed: location
// P, event number, click state, button number, subtype 0, both
// window-under-pointer fields and the window location W. Null when it
// cannot be built.
struct ClickHalf {
  uint32_t type = 0;
  Point screen;          // P
  Point windowLocation;  // W = P − frame origin
  double timestamp = 0;
  uint32_t windowID = 0;
  int64_t eventNumber = 0;
  int64_t clickState = 0;
  int64_t buttonNumber = 0;
  float pressure = 0;
};
Event buildClickEvent(Events& events, const ClickHalf& half);

// ---- Drag ----

// The events of a left-button drag along a path of screen points: the down
// at the first point, a dragged event at each later point, the up at the
// last; each over window `windowID` at its window location. Empty when one
// cannot be built.
std::vector<Event> buildDragEvents(Events& events,
                                   const EventSource& source,
                                   const std::vector<Point>& path,
                                   const platform::Rect& frame,
                                   uint32_t windowID);

// ---- Scroll ----

// The one wheel event: wheel 1 = −dy (vertical), wheel 2 = −dx
// (horizontal), at P, over the window. The amounts must be negatable
// (not INT32_MIN). Null when it cannot be built.
Event buildWheelEvent(Events& events,
                      const EventSource& source,
                      platform::ScrollUnit unit,
                      int32_t dx,
                      int32_t dy,
                      Point screen,
                      Point windowLocation,
                      uint32_t windowID);

// ---- Key ----

struct ModifierKey {
  uint64_t flag;
  uint16_t keyCode;
};
// Press order; releases go in reverse.
inline constexpr std::array<ModifierKey, 5> kModifierKeys{{
    {kCGEventFlagMaskCommand, 55},      // kVK_Command
    {kCGEventFlagMaskControl, 59},      // kVK_Control
    {kCGEventFlagMaskShift, 56},        // kVK_Shift
    {kCGEventFlagMaskAlternate, 58},    // kVK_Option
    {kCGEventFlagMaskSecondaryFn, 63},  // kVK_Function
}};
// The key method's flags are the Quartz event flags.
static_assert(platform::kKeyFlagCommand == kCGEventFlagMaskCommand &&
              platform::kKeyFlagControl == kCGEventFlagMaskControl &&
              platform::kKeyFlagShift == kCGEventFlagMaskShift &&
              platform::kKeyFlagOption == kCGEventFlagMaskAlternate &&
              platform::kKeyFlagFunction == kCGEventFlagMaskSecondaryFn);

struct KeyStroke {
  uint16_t keyCode;
  bool keyDown;
  uint64_t flags;
  bool mainKey;  // the key itself rather than a modifier
};
// The keystroke plan: the held modifiers' presses (each carrying the bits
// pressed so far), the key down and up (carrying `flags` unchanged), and the
// releases in reverse (each carrying the bits still held).
std::vector<KeyStroke> keyPlan(uint16_t keyCode, uint64_t flags);

// Every event of the keystroke in posting order, built from a private event
// source. `outcome` says which part could not be built; the list is empty
// then.
std::vector<Event> buildKeystroke(Events& events,
                                  uint16_t keyCode,
                                  uint64_t flags,
                                  platform::InputOutcome& outcome);

}  // namespace cuh::quartz
