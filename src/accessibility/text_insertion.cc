#include "accessibility/text_insertion.h"

#include <algorithm>
#include <array>
#include <vector>

#include "accessibility/element_relations.h"
#include "accessibility/text_editing.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

namespace {

// The editable element at the window point, when the hit test lands inside
// the exact window.
std::optional<platform::AXElement> editableAtPoint(const ElementActionContext& context,
                                                   platform::Point point) {
  platform::Accessibility& ax = context.ax();
  auto hit = ax.copyElementAtPosition(context.applicationElement, static_cast<float>(point.x),
                                      static_cast<float>(point.y));
  if (!hit.ok() || !hit.value || !*hit.value)
    return std::nullopt;
  if (!belongsToWindow(ax, *hit.value, context.window))
    return std::nullopt;  // an overlapping window of the app, not the target
  return editableAncestor(ax, *hit.value);
}

// The field's selection, when it reads as a range.
std::optional<platform::Range> selectedRange(const AttributeBatch& read) {
  const auto& selection = read.slot(ax::kSelectedTextRangeAttribute);
  if (!selection.ok() || !selection.value)
    return std::nullopt;
  if (const auto* range = selection.value->as<platform::Range>())
    return *range;
  return std::nullopt;
}

}  // namespace

std::optional<platform::AXElement> uniqueFocusedEditable(platform::Accessibility& ax,
                                                         const platform::AXElement& window) {
  std::vector<platform::AXElement> stack{window};
  std::optional<platform::AXElement> found;
  int examined = 0;
  while (!stack.empty() && examined < kFocusedEditableElements) {
    platform::AXElement element = std::move(stack.back());
    stack.pop_back();
    // editableAncestor(element) is the element itself exactly when its own
    // role is editable.
    static constexpr std::array<std::string_view, 3> kAttributes = {
        ax::kFocusedAttribute, ax::kRoleAttribute, ax::kChildrenAttribute};
    const AttributeBatch read(ax, element, kAttributes);
    if (read.boolean(ax::kFocusedAttribute).value_or(false) &&
        isEditableRole(read.text(ax::kRoleAttribute))) {
      if (found)
        return std::nullopt;
      found = element;
    }
    std::vector<platform::AXElement> kids = read.elements(ax::kChildrenAttribute);
    if (kids.size() > kFocusedEditableChildren)
      kids.resize(kFocusedEditableChildren);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
      stack.push_back(std::move(*it));
    ++examined;
  }
  return found;
}

Json insertText(const ElementActionContext& context) {
  platform::Accessibility& ax = context.ax();
  const double x = requiredDouble(context.params, "x");
  const double y = requiredDouble(context.params, "y");
  const std::string text = requiredString(context.params, "text");

  const platform::Point point{context.windowFrame.minX() + x, context.windowFrame.minY() + y};
  if (!context.windowFrame.contains(point))
    throw HelperFailure("The macOS text target is outside the observed window");

  std::optional<platform::AXElement> field = editableAtPoint(context, point);
  if (!field)
    field = uniqueFocusedEditable(ax, context.window);
  if (!field) {
    throw HelperFailure(
        "The clicked point does not resolve to an editable macOS element, and the exact target "
        "window has no unique focused editable element");
  }

  static constexpr std::array<std::string_view, 2> kFieldAttributes = {
      ax::kValueAttribute, ax::kSelectedTextRangeAttribute};
  const AttributeBatch fieldNow(ax, *field, kFieldAttributes);
  const std::string current = fieldNow.text(ax::kValueAttribute);
  TextReplacement edit = replaceSelection(current, selectedRange(fieldNow), text);

  if (ax.setAttributeValue(*field, ax::kValueAttribute, platform::Value::string(edit.value)) !=
      platform::AXError::success) {
    throw HelperFailure("The target macOS field rejected background text insertion");
  }
  // The caret after the inserted text; a field that keeps its own caret is
  // still correct, so a refusal here is not an error.
  (void)ax.setAttributeValue(*field, ax::kSelectedTextRangeAttribute, platform::Value(edit.caret));

  if (!readBackValue(context, *field, edit.value)) {
    throw HelperFailure(
        "The target macOS field accepted text insertion but readback disagreed; the outcome is "
        "ambiguous and cannot be safely retried");
  }
  context.guard.verifySemanticGuard(context.controller, context.foreground,
                                    /*mutationMayHaveCompleted=*/true);
  return Json{{"delivery", "verified"}, {"value", edit.value}};
}

}  // namespace cuh
