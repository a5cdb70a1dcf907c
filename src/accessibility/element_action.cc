#include "accessibility/element_action.h"

#include "accessibility/element_action_validation.h"
#include "accessibility/element_operations.h"
#include "accessibility/text_insertion.h"
#include "accessibility/text_selection.h"
#include "protocol/helper_failure.h"

namespace cuh {

Json performElementAction(platform::Platform& platform,
                          ForegroundGuard& guard,
                          const Json& params) {
  ElementActionContext context = validateElementAction(platform, guard, params);
  if (context.operation == kInsertText)
    return insertText(context);

  const platform::AXElement element = resolveActionElement(context);
  const std::string& operation = context.operation;
  if (operation == kActivateButton)
    return activateButton(context, element);
  if (operation == kFocusEditable)
    return focusEditable(context, element);
  if (operation == kPerformAction)
    return performNamedAction(context, element);
  if (operation == kSetValue)
    return setValue(context, element);
  if (operation == kSelectText)
    return selectText(context, element);
  if (operation == kPageScroll)
    return pageScroll(context, element);
  // Checked last: an unknown operation is refused only after the guard was
  // armed and the element resolved, so those refusals take precedence.
  throw HelperFailure("Unknown macOS element action");
}

}  // namespace cuh
