#include "accessibility/element_expectation.h"

#include <cmath>
#include <limits>

#include "protocol/params.h"

namespace cuh {

namespace {

std::string stringEntry(const Json& element, const char* key) {
  auto it = element.find(key);
  if (it == element.end() || !it->is_string())
    return {};
  return it->get<std::string>();
}

std::optional<double> numberEntry(const Json& element, const char* key) {
  auto it = element.find(key);
  if (it == element.end() || !isNumber(*it))
    return std::nullopt;
  if (it->is_boolean())
    return it->get<bool>() ? 1.0 : 0.0;
  return it->get<double>();
}

// A path position truncated toward zero. A value beyond the 64-bit range
// saturates: it is then past every child list, which abandons the path walk
// just as any other position that is out of range.
int64_t pathPosition(const Json& entry) {
  if (entry.is_boolean())
    return entry.get<bool>() ? 1 : 0;
  if (entry.is_number_integer() && !entry.is_number_unsigned())
    return entry.get<int64_t>();
  if (entry.is_number_unsigned()) {
    auto u = entry.get<uint64_t>();
    return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(u);
  }
  double d = std::trunc(entry.get<double>());
  if (d >= 9223372036854775807.0)
    return std::numeric_limits<int64_t>::max();
  if (d <= -9223372036854775808.0)
    return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

std::vector<int64_t> pathEntry(const Json& element) {
  auto it = element.find("path");
  if (it == element.end() || !it->is_array())
    return {};
  std::vector<int64_t> path;
  path.reserve(it->size());
  for (const Json& entry : *it) {
    if (!isNumber(entry))
      return {};
    path.push_back(pathPosition(entry));
  }
  return path;
}

}  // namespace

ElementExpectation::ElementExpectation(const Json& element) {
  if (!element.is_object())
    return;
  path = pathEntry(element);
  role = stringEntry(element, "role");
  identifier = stringEntry(element, "identifier");
  semanticLabel = stringEntry(element, "semanticLabel");
  title = stringEntry(element, "title");
  description = stringEntry(element, "description");
  value = stringEntry(element, "value");
  x = numberEntry(element, "x");
  y = numberEntry(element, "y");
  width = numberEntry(element, "width");
  height = numberEntry(element, "height");
}

bool ElementExpectation::hasDurableIdentity() const {
  return !identifier.empty() || !semanticLabel.empty() || !title.empty() || !description.empty() ||
         !value.empty();
}

bool ElementExpectation::hasFrame() const {
  return x && y && width && height;
}

double geometryDistance(const ElementExpectation& expected,
                        const platform::Rect& elementFrame,
                        const platform::Rect& windowFrame) {
  return std::abs((elementFrame.minX() - windowFrame.minX()) - *expected.x) +
         std::abs((elementFrame.minY() - windowFrame.minY()) - *expected.y) +
         std::abs(elementFrame.width() - *expected.width) +
         std::abs(elementFrame.height() - *expected.height);
}

}  // namespace cuh
