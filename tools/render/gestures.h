// The trace's posted events grouped into what a person would name: clicks,
// drags, keystrokes, scrolls, and the helper's own focus preparation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/geometry.h"

namespace cuh::render {

enum class GestureKind {
  click,
  drag,
  key,
  scroll,
  // The synthetic focus events the helper posts around input (application
  // events and its out-of-window focus click): not the caller's input.
  focus,
  other,
};

struct Gesture {
  GestureKind kind = GestureKind::other;
  int32_t pid = 0;
  // The window the events name (0 when they name none).
  uint32_t windowNumber = 0;
  platform::Point at;  // where it starts
  platform::Point to;  // a drag's end
  std::string button;  // clicks and drags: "left" or "right"
  int clickCount = 0;
  // Keys: "Cmd+Shift key 6"; scrolls: "dx 0, dy 3"; others: "type 9".
  std::string label;
  int events = 0;  // posted events in the gesture
};

// Groups the "post" lines of a trace, in order. Lines of other kinds are
// skipped; a malformed "post" line becomes an "other" gesture.
std::vector<Gesture> groupGestures(const std::vector<nlohmann::json>& traceLines);

}  // namespace cuh::render
