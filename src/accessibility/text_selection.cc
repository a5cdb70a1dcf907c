#include "accessibility/text_selection.h"

#include <string>
#include <vector>

#include "accessibility/text_editing.h"
#include "accessibility/text_search.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

Json selectText(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  const std::string current = stringAttribute(ax, element, ax::kValueAttribute);
  const std::string text = requiredString(context.params, "text");
  const std::string prefix = optionalString(context.params, "prefix");
  const std::string suffix = optionalString(context.params, "suffix");
  const std::string mode = optionalString(context.params, "mode");

  std::vector<TextOccurrence> occurrences = acceptedOccurrences(current, text, prefix, suffix);
  if (occurrences.empty())
    throw HelperFailure("Text was not found in the indexed element");
  if (occurrences.size() > 1)
    throw HelperFailure("Text is ambiguous; provide prefix or suffix");

  const platform::Range selection = selectionForMode(occurrences.front(), mode);
  if (ax.setAttributeValue(element, ax::kSelectedTextRangeAttribute, platform::Value(selection)) !=
      platform::AXError::success) {
    throw HelperFailure("The indexed element rejected text selection");
  }

  // Read back once, without waiting.
  auto readback = ax.copyAttributeValue(element, ax::kSelectedTextRangeAttribute);
  const platform::Value* value = readback.ok() && readback.value ? &*readback.value : nullptr;
  // Accessibility values are the boxed geometry kinds; anything else (or
  // nothing) means the element offers no readback.
  if (!value || !(value->is<platform::Range>() || value->is<platform::Point>() ||
                  value->is<platform::Size>())) {
    throw HelperFailure(
        "The indexed element accepted text selection but did not expose readback; the outcome "
        "is ambiguous and cannot be safely retried");
  }
  const auto* range = value->as<platform::Range>();
  if (!range || *range != selection) {
    throw HelperFailure(
        "The indexed element accepted text selection but readback disagreed; the outcome is "
        "ambiguous and cannot be safely retried");
  }
  return completeElementAction(context);
}

}  // namespace cuh
