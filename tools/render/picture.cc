#include "render/picture.h"

#include <algorithm>
#include <cmath>

namespace cuh::render {

namespace {

double numberOf(const std::optional<platform::Value>& value, double fallback) {
  if (!value)
    return fallback;
  const platform::Number* number = value->as<platform::Number>();
  return number ? number->doubleValue() : fallback;
}

// The window's frame: its bounds, else a well-formed bounds entry of its
// raw row.
std::optional<platform::Rect> frameOf(const sim::Window& window) {
  if (window.bounds)
    return window.bounds;
  const nlohmann::json& row = window.row;
  auto bounds = row.find("kCGWindowBounds");
  if (bounds == row.end() || !bounds->is_object())
    return std::nullopt;
  for (const char* key : {"X", "Y", "Width", "Height"}) {
    if (!bounds->contains(key) || !(*bounds)[key].is_number())
      return std::nullopt;
  }
  return platform::Rect{{(*bounds)["X"].get<double>(), (*bounds)["Y"].get<double>()},
                        {(*bounds)["Width"].get<double>(), (*bounds)["Height"].get<double>()}};
}

void include(platform::Rect& extent, bool& empty, platform::Point point) {
  if (!std::isfinite(point.x) || !std::isfinite(point.y))
    return;
  if (empty) {
    extent = {point, {0, 0}};
    empty = false;
    return;
  }
  double minX = std::min(extent.minX(), point.x), minY = std::min(extent.minY(), point.y);
  double maxX = std::max(extent.maxX(), point.x), maxY = std::max(extent.maxY(), point.y);
  extent = {{minX, minY}, {maxX - minX, maxY - minY}};
}

// The window a key or scroll went to: the one it names, else the front
// window of its process.
std::optional<size_t> targetWindow(const std::vector<WindowBox>& backToFront,
                                   const Gesture& gesture) {
  for (size_t i = 0; i < backToFront.size(); ++i) {
    if (gesture.windowNumber != 0 && backToFront[i].id == gesture.windowNumber)
      return i;
  }
  for (size_t i = backToFront.size(); i-- > 0;) {
    if (backToFront[i].pid == gesture.pid && backToFront[i].ordinary)
      return i;
  }
  return std::nullopt;
}

}  // namespace

Picture buildPicture(const sim::World& world, const std::vector<nlohmann::json>& traceLines) {
  Picture picture;
  std::optional<int32_t> frontmostPid = world.frontmostPid();
  bool frontmostFound = false;
  // The scene lists windows front to back.
  for (const std::shared_ptr<sim::Window>& window : world.windows) {
    std::optional<platform::Rect> frame = frameOf(*window);
    if (!frame) {
      picture.notes.push_back("window " + std::to_string(window->id) + " has no frame");
      continue;
    }
    WindowBox box;
    box.id = window->id;
    box.pid = window->pid;
    box.title = window->title.value_or(window->owner.value_or(""));
    box.frame = *frame;
    box.ordinary = numberOf(window->layer, 0) == 0 && numberOf(window->alpha, 1) > 0;
    box.onScreen = window->onScreen.value_or(true);
    if (!frontmostFound && frontmostPid && box.pid == *frontmostPid && box.ordinary &&
        box.onScreen) {
      box.frontmost = true;
      frontmostFound = true;
    }
    picture.windows.push_back(box);
  }
  std::reverse(picture.windows.begin(), picture.windows.end());

  bool empty = true;
  include(picture.extent, empty, {0, 0});
  for (const WindowBox& box : picture.windows) {
    include(picture.extent, empty, box.frame.origin);
    include(picture.extent, empty, {box.frame.maxX(), box.frame.maxY()});
  }

  std::vector<int> badgesPerWindow(picture.windows.size(), 0);
  int number = 0;
  for (const Gesture& gesture : groupGestures(traceLines)) {
    Marker marker;
    marker.gesture = gesture;
    if (gesture.kind != GestureKind::focus)
      marker.number = ++number;
    if (gesture.kind == GestureKind::key || gesture.kind == GestureKind::scroll) {
      marker.window = targetWindow(picture.windows, gesture);
      if (marker.window)
        marker.slot = badgesPerWindow[*marker.window]++;
    }
    if (gesture.kind == GestureKind::click || gesture.kind == GestureKind::drag ||
        gesture.kind == GestureKind::other ||
        (gesture.kind == GestureKind::scroll && !marker.window)) {
      include(picture.extent, empty, gesture.at);
      include(picture.extent, empty, gesture.to);
    }
    picture.markers.push_back(marker);
  }
  return picture;
}

}  // namespace cuh::render
