#include "input/key_focus.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "accessibility/element_relations.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "windows/ax_readers.h"

namespace cuh {

namespace {

// Elements examined by focusElement and selectAll: the element and up to 7
// ancestors.
constexpr int kFocusChainLimit = 8;

// The length of UTF-8 text in UTF-16 code units: four-byte sequences are
// surrogate pairs.
int64_t utf16UnitCount(std::string_view text) {
  int64_t length = 0;
  for (unsigned char byte : text) {
    if ((byte & 0xC0) == 0x80)
      continue;  // a continuation byte
    length += byte >= 0xF0 ? 2 : 1;
  }
  return length;
}

}  // namespace

platform::AXElement focusedCandidate(platform::Accessibility& ax,
                                     const platform::AXElement& application,
                                     const platform::AXElement& window,
                                     platform::Point screenPoint) {
  auto hit = ax.copyElementAtPosition(application, static_cast<float>(screenPoint.x),
                                      static_cast<float>(screenPoint.y));
  if (hit.ok() && hit.value && *hit.value && belongsToWindow(ax, *hit.value, window))
    return *hit.value;
  auto focused = platform::elementAttribute(ax, application, ax::kFocusedUIElementAttribute);
  if (focused && belongsToWindow(ax, *focused, window))
    return *focused;
  return window;
}

void focusElement(platform::Accessibility& ax, const platform::AXElement& element) {
  platform::AXElement current = element;
  for (int examined = 0; examined < kFocusChainLimit; ++examined) {
    if (ax.setAttributeValue(current, ax::kFocusedAttribute, platform::Value::boolean(true)) ==
        platform::AXError::success) {
      return;
    }
    auto parent = platform::elementAttribute(ax, current, ax::kParentAttribute);
    if (!parent)
      return;
    current = std::move(*parent);
  }
}

void selectAll(platform::Accessibility& ax, const platform::AXElement& element) {
  // The role, the value a field would need and the way up: one round trip
  // per element examined.
  static constexpr std::array<std::string_view, 3> kAttributes = {
      ax::kRoleAttribute, ax::kValueAttribute, ax::kParentAttribute};
  std::optional<platform::AXElement> field;
  std::string value;
  platform::AXElement current = element;
  for (int examined = 0; examined < kFocusChainLimit; ++examined) {
    const AttributeBatch read(ax, current, kAttributes);
    if (isEditableRole(read.text(ax::kRoleAttribute))) {
      field = current;
      value = read.text(ax::kValueAttribute);
      break;
    }
    auto parent = read.element(ax::kParentAttribute);
    if (!parent)
      break;
    current = std::move(*parent);
  }
  if (!field)
    throw HelperFailure("No editable macOS element is selected for background select-all");
  int64_t length = utf16UnitCount(value);
  platform::Value range(platform::Value::Storage(platform::Range{0, length}));
  if (ax.setAttributeValue(*field, ax::kSelectedTextRangeAttribute, range) !=
      platform::AXError::success)
    throw HelperFailure("The target macOS field rejected background select-all");
}

}  // namespace cuh
