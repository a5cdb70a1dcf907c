// The window a request names by pid and window id, checked against what the
// caller observed: still listed by the window server with a frame, and of
// the size the caller saw. Every request on an observed window starts with
// this check and says what it answers when it fails.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace cuh {

// A frame may differ from the caller's observation, or from an earlier
// reading of it, by this much per value (exactly 1.5 passes).
inline constexpr double kFrameTolerance = 1.5;

// |a − b| ≤ 1.5; false when either is not a number.
bool withinFrameTolerance(double a, double b);

// The window-server row of the window and its frame.
struct ListedWindow {
  platform::Value row;
  platform::Rect frame;
};

// The two answers of the check.
struct ObservedWindowMessages {
  // No qualifying row of the window, or one without a frame.
  const char* disappeared;
  // Its width or height differs from the observed one by more than 1.5.
  const char* resized;
};

// The answers of most requests.
inline constexpr ObservedWindowMessages kObservedWindowMessages{
    "The observed macOS window disappeared. Call get_app_state again",
    "The observed macOS window resized. Call get_app_state again",
};

// The row of (pid, windowID) as windowRow finds it, with its frame. Throws
// HelperFailure `disappeared` without one.
ListedWindow findListedWindow(platform::Platform& platform,
                              int32_t pid,
                              uint32_t windowID,
                              const char* disappeared);

// The listed window, whose width and height are within 1.5 points of the
// observed `width` and `height`. Throws HelperFailure with the message of
// the check that failed.
ListedWindow checkObservedWindow(platform::Platform& platform,
                                 int32_t pid,
                                 uint32_t windowID,
                                 double width,
                                 double height,
                                 const ObservedWindowMessages& messages);

}  // namespace cuh
