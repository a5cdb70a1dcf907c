// Relations between elements that the input methods and the text operations
// share: membership in a window and the editable field an element is part
// of. Both follow AXParent a bounded number of steps.
#pragma once

#include <optional>
#include <string_view>

#include "platform/accessibility.h"

namespace cuh {

// Elements compared by belongsToWindow: the element and up to 31 ancestors.
inline constexpr int kBelongsToWindowLimit = 32;
// Elements examined by editableAncestor: the element and up to 7 ancestors.
inline constexpr int kEditableAncestorLimit = 8;

// AXTextField, AXTextArea or AXComboBox.
bool isEditableRole(std::string_view role);

// The element is the window (CFEqual) or one of its
// first 31 ancestors is. False when AXParent cannot be read as an element
// before that.
bool belongsToWindow(platform::Accessibility& ax,
                     const platform::AXElement& element,
                     const platform::AXElement& window);

// The element itself or its nearest ancestor, within
// 8 elements, whose AXRole (read as text) is an editable role; none
// otherwise.
std::optional<platform::AXElement> editableAncestor(platform::Accessibility& ax,
                                                    const platform::AXElement& element);

}  // namespace cuh
