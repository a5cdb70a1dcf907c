// ElementExpectation: how a caller describes an element it observed in a tree
// snapshot, so that a later request can find the same element again in the
// live tree. Built from the request's "element" object; building never fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "protocol/json.h"

namespace cuh {

struct ElementExpectation {
  // Child positions from the window element down to the element.
  std::vector<int64_t> path;
  // AXRole; always compared, so "" matches only an element whose role reads
  // as "".
  std::string role;
  // Compared only when not empty.
  std::string identifier;
  std::string semanticLabel;  // against the descendant label
  std::string title;
  std::string description;
  std::string value;
  // The frame, x and y relative to the window-list frame of the window. Used
  // only when all four are present.
  std::optional<double> x;
  std::optional<double> y;
  std::optional<double> width;
  std::optional<double> height;

  ElementExpectation() = default;
  // From the "element" object: "path" (an array of numbers, each truncated
  // toward zero; [] when any entry is not a number), the five strings and
  // "role" ("" unless a string), and the four frame numbers (absent unless a
  // number). JSON booleans count as the numbers 1 and 0. Anything else, or an
  // `element` that is not an object, gives the defaults.
  explicit ElementExpectation(const Json& element);

  // At least one of identifier, semanticLabel, title, description, value is
  // given. Role, path and frame alone do not identify an element durably.
  bool hasDurableIdentity() const;
  // All four frame values are present.
  bool hasFrame() const;
};

// The geometry distance, in points, between an element frame and the
// expected frame: the sum of the absolute differences of the window-relative
// left and top edges, the width and the height. Requires hasFrame().
double geometryDistance(const ElementExpectation& expected,
                        const platform::Rect& elementFrame,
                        const platform::Rect& windowFrame);

}  // namespace cuh
