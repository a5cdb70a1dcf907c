// "select_text": places the selection or the caret at the one occurrence of
// a text inside the resolved element, located with optional text before
// and after it, and reads the selection back.
#pragma once

#include "accessibility/element_action_validation.h"
#include "platform/element.h"
#include "protocol/json.h"

namespace cuh {

// Reads "text", "prefix", "suffix" and "mode" and selects. Returns
// {"delivery": "verified"}.
Json selectText(const ElementActionContext& context, const platform::AXElement& element);

}  // namespace cuh
