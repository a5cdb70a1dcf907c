#include "windows/ax_readers.h"

#include <array>

#include "platform/ax_names.h"

namespace cuh {

using platform::AXElement;
using platform::AXResult;
using platform::Value;

namespace {

constexpr std::array<std::string_view, 2> kFrameAttributes = {ax::kPositionAttribute,
                                                              ax::kSizeAttribute};

std::optional<platform::Rect> rectOf(const AXResult<Value>& position, const AXResult<Value>& size) {
  if (!position.ok() || !position.value || !size.ok() || !size.value)
    return std::nullopt;
  const auto* point = position.value->as<platform::Point>();
  const auto* extent = size.value->as<platform::Size>();
  if (!point || !extent)
    return std::nullopt;
  return platform::Rect{*point, *extent};
}

std::string textOfRead(const AXResult<Value>& read) {
  if (!read.ok() || !read.value)
    return {};
  return textOf(*read.value);
}

std::vector<AXElement> elementsOf(const AXResult<Value>& read) {
  if (!read.ok() || !read.value)
    return {};
  const auto* list = read.value->as<platform::Array>();
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

}  // namespace

std::optional<platform::Rect> rect(platform::Accessibility& ax, const AXElement& element) {
  return AttributeBatch(ax, element, kFrameAttributes).frame();
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
  return textOfRead(ax.copyAttributeValue(element, attribute));
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
  return elementsOf(ax.copyAttributeValue(element, attribute));
}

std::vector<AXElement> children(platform::Accessibility& ax, const AXElement& element) {
  return elementList(ax, element, ax::kChildrenAttribute);
}

AttributeBatch::AttributeBatch(platform::Accessibility& ax,
                               const AXElement& element,
                               std::span<const std::string_view> attributes)
    : attributes_(attributes) {
  auto answer =
      ax.copyMultipleAttributeValues(element, attributes, platform::CopyMultipleOptions::none);
  if (answer.ok() && answer.value && answer.value->size() == attributes.size()) {
    slots_ = std::move(*answer.value);
    return;
  }
  // The element could not be asked at all: every read fails alike.
  const platform::AXError error = answer.ok() ? platform::AXError::failure : answer.error;
  slots_.assign(attributes.size(), AXResult<Value>{error, std::nullopt});
}

const AXResult<Value>& AttributeBatch::slot(std::string_view attribute) const {
  for (size_t i = 0; i < attributes_.size(); ++i) {
    if (attributes_[i] == attribute)
      return slots_[i];
  }
  static const AXResult<Value> kUnread{platform::AXError::failure, std::nullopt};
  return kUnread;
}

std::string AttributeBatch::text(std::string_view attribute) const {
  return textOfRead(slot(attribute));
}

std::optional<bool> AttributeBatch::boolean(std::string_view attribute) const {
  return platform::booleanOf(slot(attribute));
}

std::optional<AXElement> AttributeBatch::element(std::string_view attribute) const {
  return platform::elementOf(slot(attribute));
}

std::vector<AXElement> AttributeBatch::elements(std::string_view attribute) const {
  return elementsOf(slot(attribute));
}

std::optional<platform::Rect> AttributeBatch::frame() const {
  return rectOf(slot(ax::kPositionAttribute), slot(ax::kSizeAttribute));
}

}  // namespace cuh
