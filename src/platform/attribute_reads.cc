#include "platform/attribute_reads.h"

namespace cuh::platform {

std::optional<bool> boolAttribute(Accessibility& ax,
                                  const AXElement& element,
                                  std::string_view attribute) {
  auto result = ax.copyAttributeValue(element, attribute);
  if (!result.ok() || !result.value)
    return std::nullopt;
  if (const auto* b = result.value->as<Boolean>())
    return b->value;
  if (const auto* n = result.value->as<Number>())
    return n->boolValue();
  return std::nullopt;
}

std::optional<AXElement> elementAttribute(Accessibility& ax,
                                          const AXElement& element,
                                          std::string_view attribute) {
  auto result = ax.copyAttributeValue(element, attribute);
  if (!result.ok() || !result.value)
    return std::nullopt;
  const auto* found = result.value->as<AXElement>();
  if (!found || !*found)
    return std::nullopt;
  return *found;
}

}  // namespace cuh::platform
