#include "accessibility/element_relations.h"

#include <array>
#include <string>

#include "platform/ax_names.h"
#include "windows/ax_readers.h"
#include "windows/canonical_text.h"

namespace cuh {

using platform::AXElement;

bool isEditableRole(std::string_view role) {
  return canonicallyEqual(role, ax::kTextFieldRole) || canonicallyEqual(role, ax::kTextAreaRole) ||
         canonicallyEqual(role, ax::kComboBoxRole);
}

bool belongsToWindow(platform::Accessibility& ax,
                     const AXElement& element,
                     const AXElement& window) {
  AXElement current = element;
  for (int compared = 0; compared < kBelongsToWindowLimit; ++compared) {
    if (current.isEqual(window))
      return true;
    if (compared + 1 == kBelongsToWindowLimit)
      break;  // no further comparison would follow
    auto parent = platform::elementAttribute(ax, current, ax::kParentAttribute);
    if (!parent)
      return false;
    current = std::move(*parent);
  }
  return false;
}

std::optional<AXElement> editableAncestor(platform::Accessibility& ax, const AXElement& element) {
  // The role and the way up, one round trip per element examined.
  static constexpr std::array<std::string_view, 2> kAttributes = {ax::kRoleAttribute,
                                                                  ax::kParentAttribute};
  AXElement current = element;
  for (int examined = 0; examined < kEditableAncestorLimit; ++examined) {
    const AttributeBatch read(ax, current, kAttributes);
    if (isEditableRole(read.text(ax::kRoleAttribute)))
      return current;
    if (examined + 1 == kEditableAncestorLimit)
      break;
    auto parent = read.element(ax::kParentAttribute);
    if (!parent)
      return std::nullopt;
    current = std::move(*parent);
  }
  return std::nullopt;
}

}  // namespace cuh
