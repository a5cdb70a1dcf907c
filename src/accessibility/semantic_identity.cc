#include "accessibility/semantic_identity.h"

#include <algorithm>
#include <vector>

#include "platform/ax_names.h"
#include "windows/ax_readers.h"
#include "windows/canonical_text.h"

namespace cuh {

using platform::AXElement;

namespace {

constexpr size_t kLabelChildren = 100;
constexpr int kLabelDescendants = 300;

void pushFirstChildrenReversed(platform::Accessibility& ax,
                               const AXElement& element,
                               std::vector<AXElement>& stack) {
  std::vector<AXElement> kids = children(ax, element);
  size_t count = std::min(kids.size(), kLabelChildren);
  for (size_t i = count; i > 0; --i)
    stack.push_back(std::move(kids[i - 1]));
}

bool attributeEquals(platform::Accessibility& ax,
                     const AXElement& element,
                     std::string_view attribute,
                     const std::string& expected) {
  return canonicallyEqual(stringAttribute(ax, element, attribute), expected);
}

}  // namespace

std::string descendantLabel(platform::Accessibility& ax, const AXElement& element) {
  std::vector<AXElement> stack;
  pushFirstChildrenReversed(ax, element, stack);
  int examined = 0;
  while (!stack.empty() && examined < kLabelDescendants) {
    AXElement current = std::move(stack.back());
    stack.pop_back();
    ++examined;
    for (std::string_view attribute :
         {ax::kTitleAttribute, ax::kDescriptionAttribute, ax::kValueAttribute}) {
      std::string text = stringAttribute(ax, current, attribute);
      if (!text.empty())
        return text;
    }
    pushFirstChildrenReversed(ax, current, stack);
  }
  return {};
}

bool semanticIdentityMatches(platform::Accessibility& ax,
                             const AXElement& element,
                             const ElementExpectation& expected,
                             bool strictValue) {
  // Cheapest and most selective first: the role rejects almost every element
  // of a search with one read.
  if (!attributeEquals(ax, element, ax::kRoleAttribute, expected.role))
    return false;
  if (!expected.semanticLabel.empty() &&
      !canonicallyEqual(descendantLabel(ax, element), expected.semanticLabel)) {
    return false;
  }
  if (!expected.title.empty() &&
      !attributeEquals(ax, element, ax::kTitleAttribute, expected.title)) {
    return false;
  }
  if (!expected.description.empty() &&
      !attributeEquals(ax, element, ax::kDescriptionAttribute, expected.description)) {
    return false;
  }
  if (!expected.identifier.empty() &&
      !attributeEquals(ax, element, ax::kIdentifierAttribute, expected.identifier)) {
    return false;
  }
  bool compareValue = strictValue || (expected.title.empty() && expected.description.empty() &&
                                      expected.identifier.empty());
  if (compareValue && !expected.value.empty() &&
      !attributeEquals(ax, element, ax::kValueAttribute, expected.value)) {
    return false;
  }
  return true;
}

}  // namespace cuh
