// Geometry values shared by the platform layer and the core. Coordinates are
// window-server points: origin at the top-left corner of the main display, y
// growing downward.
#pragma once

#include <cstdint>

namespace cuh::platform {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }

  // CGRectContainsPoint for rectangles with non-negative size: minimum edges
  // inside, maximum edges outside. NaN coordinates are never contained.
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// CFRange: a text range in UTF-16 code units.
struct Range {
  int64_t location = 0;
  int64_t length = 0;
  friend bool operator==(const Range&, const Range&) = default;
};

}  // namespace cuh::platform
