#include "accessibility/element_relations.h"

#include <string>

#include "windows/ax_readers.h"
#include "windows/canonical_text.h"

namespace cuh {

using platform::AXElement;

bool isEditableRole(std::string_view role) {
  return canonicallyEqual(role, "AXTextField") || canonicallyEqual(role, "AXTextArea") ||
         canonicallyEqual(role, "AXComboBox");
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
    auto parent = platform::elementAttribute(ax, current, "AXParent");
    if (!parent)
      return false;
    current = std::move(*parent);
  }
  return false;
}

std::optional<AXElement> editableAncestor(platform::Accessibility& ax, const AXElement& element) {
  AXElement current = element;
  for (int examined = 0; examined < kEditableAncestorLimit; ++examined) {
    if (isEditableRole(stringAttribute(ax, current, "AXRole")))
      return current;
    if (examined + 1 == kEditableAncestorLimit)
      break;
    auto parent = platform::elementAttribute(ax, current, "AXParent");
    if (!parent)
      return std::nullopt;
    current = std::move(*parent);
  }
  return std::nullopt;
}

}  // namespace cuh
