#include "accessibility/element_operations.h"

#include <algorithm>
#include <string>
#include <vector>

#include "accessibility/element_relations.h"
#include "accessibility/page_scroll.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

namespace {

bool offersAction(platform::Accessibility& ax,
                  const platform::AXElement& element,
                  std::string_view action) {
  std::vector<std::string> names = actions(ax, element);
  return std::find(names.begin(), names.end(), action) != names.end();
}

// Whether the settable query succeeds and answers yes.
bool isSettable(platform::Accessibility& ax,
                const platform::AXElement& element,
                std::string_view attribute) {
  auto settable = ax.isAttributeSettable(element, attribute);
  return settable.ok() && settable.value.value_or(false);
}

// Refuses, before anything is sent, a change this desktop never makes in
// the background.
void refuseIfForeground(platform::Accessibility& ax,
                        const platform::AXElement& element,
                        std::string_view actionOrAttribute) {
  switch (ax.backgroundRefusal(element, actionOrAttribute)) {
    case platform::BackgroundRefusal::none:
      return;
    case platform::BackgroundRefusal::opensMenu:
      throw HelperFailure(
          "The indexed element would open a menu, which cannot be done in the background on "
          "this desktop; select or press one of its items instead; no accessibility action was "
          "sent");
    case platform::BackgroundRefusal::focusActivatesWindow:
      throw HelperFailure(
          "The indexed element can only be focused by activating its window, which cannot be done "
          "in the background on this desktop; no accessibility action was sent");
  }
}

}  // namespace

Json activateButton(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  platform::AXError error;
  if (isSettable(ax, element, ax::kSelectedAttribute)) {
    error = ax.setAttributeValue(element, ax::kSelectedAttribute, platform::Value::boolean(true));
  } else if (offersAction(ax, element, ax::kPressAction)) {
    refuseIfForeground(ax, element, ax::kPressAction);
    error = ax.performAction(element, ax::kPressAction);
  } else {
    throw HelperFailure("The indexed element no longer exposes background activation");
  }
  if (error != platform::AXError::success) {
    throw HelperFailure(
        "The indexed element activation outcome is ambiguous and cannot be safely retried");
  }
  settle(context);
  return completeElementAction(context);
}

Json focusEditable(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  if (!isEditableRole(stringAttribute(ax, element, ax::kRoleAttribute)))
    throw HelperFailure("The indexed element is no longer editable");
  refuseIfForeground(ax, element, ax::kFocusedAttribute);
  if (ax.setAttributeValue(element, ax::kFocusedAttribute, platform::Value::boolean(true)) !=
      platform::AXError::success) {
    throw HelperFailure("The indexed editable element rejected background focus");
  }
  settle(context);
  return completeElementAction(context);
}

Json performNamedAction(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  const std::string action = requiredString(context.params, "action");
  if (!offersAction(ax, element, action))
    throw HelperFailure("The element does not expose action " + action);
  refuseIfForeground(ax, element, action);
  if (ax.performAction(element, action) != platform::AXError::success) {
    throw HelperFailure(
        "The accessibility action outcome is ambiguous and cannot be safely retried");
  }
  settle(context);
  return completeElementAction(context);
}

Json setValue(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  if (!isSettable(ax, element, ax::kValueAttribute))
    throw HelperFailure("The indexed element does not expose a settable value");
  const std::string value = optionalString(context.params, "value");
  if (ax.setAttributeValue(element, ax::kValueAttribute, platform::Value::string(value)) !=
      platform::AXError::success) {
    throw HelperFailure("The indexed element rejected its new value");
  }
  if (!readBackValue(context, element, value)) {
    throw HelperFailure(
        "The indexed element accepted its new value but readback disagreed; the outcome is "
        "ambiguous and cannot be safely retried");
  }
  return completeElementAction(context);
}

Json pageScroll(const ElementActionContext& context, const platform::AXElement& element) {
  platform::Accessibility& ax = context.ax();
  auto action = pageScrollAction(requiredString(context.params, "direction"));
  if (!action)
    throw HelperFailure("Invalid macOS scroll direction");
  auto target = pageScrollTarget(ax, element, context.window, *action);
  if (!target) {
    throw HelperFailure(
        "The indexed element does not expose the requested directional page scroll");
  }
  const int64_t pages = pageScrollCount(context.params);
  for (int64_t page = 0; page < pages; ++page) {
    if (ax.performAction(*target, *action) == platform::AXError::success)
      continue;
    if (page == 0)
      throw HelperFailure("The indexed element rejected the requested directional page scroll");
    throw HelperFailure(
        "The directional page scroll partially completed and cannot be safely retried");
  }
  return completeElementAction(context);
}

}  // namespace cuh
