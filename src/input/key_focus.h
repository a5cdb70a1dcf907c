// Where a background keystroke goes: the element that receives accessibility
// focus before the key is posted, and the accessibility select-all that
// replaces Command-A.
#pragma once

#include "platform/platform.h"

namespace cuh {

// The element that receives focus: the element under the screen point
// when it lies in the window; else the application's focused element when
// it lies in the window; else the window itself. Never fails.
platform::AXElement focusedCandidate(platform::Accessibility& ax,
                                     const platform::AXElement& application,
                                     const platform::AXElement& window,
                                     platform::Point screenPoint);

// Sets AXFocused true on the element or, when refused, on its
// nearest ancestor (within 8 elements) that accepts it. Best effort, silent.
void focusElement(platform::Accessibility& ax, const platform::AXElement& element);

// Selects the whole text (0 to its UTF-16 length) of the
// element or its nearest editable ancestor within 8 elements. Raises
// HelperFailure "No editable macOS element is selected for background
// select-all" or "The target macOS field rejected background select-all".
void selectAll(platform::Accessibility& ax, const platform::AXElement& element);

}  // namespace cuh
