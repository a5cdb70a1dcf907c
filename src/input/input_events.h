// The events background input posts: their plans (which events, in which
// order, with which points and flags) and the builders that dress each one
// exactly as the target process expects it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace cuh {

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
// "left" → types 1/2, button 0; "right" → types 3/4, button 1.
ClickButton clickButton(bool right);

// One half of a click, built as an event object and then dressed: location
// P, event number, click state, button number, subtype 0, both
// window-under-pointer fields and the window location W. Null when it
// cannot be built.
struct ClickEventSpec {
  uint32_t type = 0;
  platform::Point screen;          // P
  platform::Point windowLocation;  // W = P − frame origin
  double timestamp = 0;
  uint32_t windowID = 0;
  int64_t eventNumber = 0;
  int64_t clickState = 0;
  int64_t buttonNumber = 0;
  float pressure = 0;
};
platform::Event buildClickEvent(platform::Events& events, const ClickEventSpec& spec);

// ---- Drag ----

inline constexpr int kDragSteps = 16;

struct DragStep {
  uint32_t type;
  platform::Point screen;
};
// The 18-event plan: the down at S, 16 dragged events at S + (E − S)·k/16
// (the last exactly on E), the up at E.
std::vector<DragStep> dragPlan(platform::Point start, platform::Point end);

// ---- Scroll ----

// The one pixel wheel event: wheel 1 = −dy (vertical), wheel 2 = −dx
// (horizontal), at P, over the window. The amounts must be negatable
// (not INT32_MIN). Null when it cannot be built.
platform::Event buildWheelEvent(platform::Events& events,
                                const platform::EventSource& source,
                                int32_t dx,
                                int32_t dy,
                                platform::Point screen,
                                platform::Point windowLocation,
                                uint32_t windowID);

// ---- Key ----

struct ModifierKey {
  uint64_t flag;
  uint16_t keyCode;
};
// Press order; releases go in reverse.
inline constexpr std::array<ModifierKey, 5> kModifierKeys{{
    {platform::kCGEventFlagMaskCommand, 55},      // kVK_Command
    {platform::kCGEventFlagMaskControl, 59},      // kVK_Control
    {platform::kCGEventFlagMaskShift, 56},        // kVK_Shift
    {platform::kCGEventFlagMaskAlternate, 58},    // kVK_Option
    {platform::kCGEventFlagMaskSecondaryFn, 63},  // kVK_Function
}};

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

}  // namespace cuh
