// What the picture shows: the scene's windows in stacking order and the
// trace's gestures, numbered, each placed on the desktop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/geometry.h"
#include "platform/sim/sim_model.h"
#include "render/gestures.h"

namespace cuh::render {

struct WindowBox {
  uint32_t id = 0;
  int32_t pid = 0;
  std::string title;  // the window's title, else its owner's name
  platform::Rect frame;
  bool ordinary = true;  // layer 0 and not transparent
  bool onScreen = true;
  bool frontmost = false;  // the front window of the frontmost application
};

struct Marker {
  int number = 0;  // 0: not numbered (the helper's own focus events)
  Gesture gesture;
  // Keys and scrolls: the window they went to, by index in `windows`.
  std::optional<size_t> window;
  // Keys and scrolls: their place in that window's row of badges.
  int slot = 0;
};

struct Picture {
  std::vector<WindowBox> windows;  // back to front: the drawing order
  std::vector<Marker> markers;
  std::vector<std::string> notes;  // e.g. windows without a frame
  platform::Rect extent;           // everything drawn on the desktop
};

// Builds the picture of a loaded scene and the lines of its trace.
Picture buildPicture(const sim::World& world, const std::vector<nlohmann::json>& traceLines);

}  // namespace cuh::render
