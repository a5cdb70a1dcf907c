#include "platform/attribute_reads.h"

namespace cuh::platform {

std::optional<bool> booleanOf(const AXResult<Value>& read) {
  if (!read.ok() || !read.value)
    return std::nullopt;
  if (const auto* b = read.value->as<Boolean>())
    return b->value;
  if (const auto* n = read.value->as<Number>())
    return n->boolValue();
  return std::nullopt;
}

std::optional<bool> boolAttribute(Accessibility& ax,
                                  const AXElement& element,
                                  std::string_view attribute) {
  return booleanOf(ax.copyAttributeValue(element, attribute));
}

std::optional<AXElement> elementOf(const AXResult<Value>& read) {
  if (!read.ok() || !read.value)
    return std::nullopt;
  const auto* found = read.value->as<AXElement>();
  if (!found || !*found)
    return std::nullopt;
  return *found;
}

std::optional<AXElement> elementAttribute(Accessibility& ax,
                                          const AXElement& element,
                                          std::string_view attribute) {
  return elementOf(ax.copyAttributeValue(element, attribute));
}

}  // namespace cuh::platform
