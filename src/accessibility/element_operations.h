// The element operations of "element_action" that act through one attribute
// or action: "activate_button", "focus_editable", "action", "set_value" and
// "page_scroll". Each runs after validation and element resolution, makes
// its change, confirms it (settle wait or readback) and completes. Messages
// ending "cannot be safely retried" mean that the target may have changed.
#pragma once

#include "accessibility/element_action_validation.h"
#include "platform/element.h"
#include "protocol/json.h"

namespace cuh {

// Sets AXSelected to true where it is settable (a tab), otherwise performs
// AXPress.
Json activateButton(const ElementActionContext& context, const platform::AXElement& element);
// Sets AXFocused of an editable element to true.
Json focusEditable(const ElementActionContext& context, const platform::AXElement& element);
// Performs the action named by "action", which the element must offer.
Json performNamedAction(const ElementActionContext& context, const platform::AXElement& element);
// Sets AXValue to "value" (the empty string when absent) and reads it
// back.
Json setValue(const ElementActionContext& context, const platform::AXElement& element);
// Performs the page-scroll action of "direction" "pages" times on the
// element or its nearest ancestor that offers it.
Json pageScroll(const ElementActionContext& context, const platform::AXElement& element);

}  // namespace cuh
