#include "windows/ax_readers.h"

#include "platform/ax_names.h"

namespace cuh {

using platform::AXElement;
using platform::Value;

std::optional<platform::Rect> rect(platform::Accessibility& ax, const AXElement& element) {
  auto position = ax.copyAttributeValue(element, ax::kPositionAttribute);
  if (!position.ok() || !position.value)
    return std::nullopt;
  auto size = ax.copyAttributeValue(element, ax::kSizeAttribute);
  if (!size.ok() || !size.value)
    return std::nullopt;
  const auto* point = position.value->as<platform::Point>();
  const auto* extent = size.value->as<platform::Size>();
  if (!point || !extent)
    return std::nullopt;
  return platform::Rect{*point, *extent};
}

std::string textOf(const Value& value) {
  if (const auto* s = value.as<std::string>())
    return *s;
  if (const auto* a = value.as<platform::AttributedString>())
    return a->text;
  if (const auto* n = value.as<platform::Number>())
    return n->stringValue();
  // A platform boolean is a number too: its stringValue is "1" or "0".
  if (const auto* b = value.as<platform::Boolean>())
    return b->value ? "1" : "0";
  return {};
}

std::string stringAttribute(platform::Accessibility& ax,
                            const AXElement& element,
                            std::string_view attribute) {
  auto result = ax.copyAttributeValue(element, attribute);
  if (!result.ok() || !result.value)
    return {};
  return textOf(*result.value);
}

std::vector<std::string> actions(platform::Accessibility& ax, const AXElement& element) {
  auto result = ax.copyActionNames(element);
  if (!result.ok() || !result.value)
    return {};
  const auto* list = result.value->as<platform::Array>();
  if (!list)
    return {};
  std::vector<std::string> names;
  names.reserve(list->size());
  for (const Value& entry : *list) {
    const auto* name = entry.as<std::string>();
    if (!name)
      return {};
    names.push_back(*name);
  }
  return names;
}

std::vector<AXElement> elementList(platform::Accessibility& ax,
                                   const AXElement& element,
                                   std::string_view attribute) {
  auto result = ax.copyAttributeValue(element, attribute);
  if (!result.ok() || !result.value)
    return {};
  const auto* list = result.value->as<platform::Array>();
  if (!list)
    return {};
  std::vector<AXElement> elements;
  elements.reserve(list->size());
  for (const Value& entry : *list) {
    // A list with anything but elements in it is not a list of elements.
    const auto* child = entry.as<AXElement>();
    if (!child || !*child)
      return {};
    elements.push_back(*child);
  }
  return elements;
}

std::vector<AXElement> children(platform::Accessibility& ax, const AXElement& element) {
  return elementList(ax, element, ax::kChildrenAttribute);
}

}  // namespace cuh
