// "insert_text": puts text into the editable element at a point of the
// window, or into the window's one focused text field when the point hits
// none, replacing the selection and leaving the caret after the text, as
// typing would; then reads the field back.
#pragma once

#include <optional>

#include "accessibility/element_action_validation.h"
#include "platform/accessibility.h"
#include "protocol/json.h"

namespace cuh {

// The limits of the walk of uniqueFocusedEditable.
inline constexpr int kFocusedEditableElements = 900;
inline constexpr size_t kFocusedEditableChildren = 100;

// The one element under `window` (the window included) whose AXFocused
// reads true and whose own role is editable; none when there is none or
// more than one among the first 900 elements of a depth-first walk that
// reads the first 100 children of each.
std::optional<platform::AXElement> uniqueFocusedEditable(platform::Accessibility& ax,
                                                         const platform::AXElement& window);

// Reads "x", "y" and "text" and inserts. Returns {"delivery": "verified",
// "value": the new text of the field}.
Json insertText(const ElementActionContext& context);

}  // namespace cuh
