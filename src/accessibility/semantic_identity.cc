#include "accessibility/semantic_identity.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/ax_names.h"
#include "windows/canonical_text.h"

namespace cuh {

using platform::AXElement;

namespace {

constexpr size_t kLabelChildren = 100;
constexpr int kLabelDescendants = 300;

// What the walk reads of each descendant: the three texts in the order they
// are tried, and the children it goes on with when all three are empty.
constexpr std::array<std::string_view, 4> kLabelAttributes = {
    ax::kTitleAttribute, ax::kDescriptionAttribute, ax::kValueAttribute, ax::kChildrenAttribute};

void pushFirstChildrenReversed(std::vector<AXElement> kids, std::vector<AXElement>& stack) {
  size_t count = std::min(kids.size(), kLabelChildren);
  for (size_t i = count; i > 0; --i)
    stack.push_back(std::move(kids[i - 1]));
}

// The walk below an element whose children are `kids`.
std::string labelBelow(platform::Accessibility& ax, std::vector<AXElement> kids) {
  std::vector<AXElement> stack;
  pushFirstChildrenReversed(std::move(kids), stack);
  int examined = 0;
  while (!stack.empty() && examined < kLabelDescendants) {
    AXElement current = std::move(stack.back());
    stack.pop_back();
    ++examined;
    const AttributeBatch read(ax, current, kLabelAttributes);
    for (std::string_view attribute :
         {ax::kTitleAttribute, ax::kDescriptionAttribute, ax::kValueAttribute}) {
      std::string text = read.text(attribute);
      if (!text.empty())
        return text;
    }
    pushFirstChildrenReversed(read.elements(ax::kChildrenAttribute), stack);
  }
  return {};
}

bool compareValue(const ElementExpectation& expected, bool strictValue) {
  return !expected.value.empty() &&
         (strictValue ||
          (expected.title.empty() && expected.description.empty() && expected.identifier.empty()));
}

bool textEquals(const AttributeBatch& read,
                std::string_view attribute,
                const std::string& expected) {
  return canonicallyEqual(read.text(attribute), expected);
}

}  // namespace

std::string descendantLabel(platform::Accessibility& ax, const AXElement& element) {
  return labelBelow(ax, children(ax, element));
}

std::vector<std::string_view> identityAttributes(const ElementExpectation& expected,
                                                 bool strictValue) {
  std::vector<std::string_view> attributes{ax::kRoleAttribute};
  if (!expected.title.empty())
    attributes.push_back(ax::kTitleAttribute);
  if (!expected.description.empty())
    attributes.push_back(ax::kDescriptionAttribute);
  if (!expected.identifier.empty())
    attributes.push_back(ax::kIdentifierAttribute);
  if (compareValue(expected, strictValue))
    attributes.push_back(ax::kValueAttribute);
  if (!expected.semanticLabel.empty())
    attributes.push_back(ax::kChildrenAttribute);
  return attributes;
}

bool semanticIdentityMatches(platform::Accessibility& ax,
                             const AttributeBatch& read,
                             const ElementExpectation& expected,
                             bool strictValue) {
  // Cheapest and most selective first: the role rejects almost every element
  // of a search without the descendant walk.
  if (!textEquals(read, ax::kRoleAttribute, expected.role))
    return false;
  if (!expected.semanticLabel.empty() &&
      !canonicallyEqual(labelBelow(ax, read.elements(ax::kChildrenAttribute)),
                        expected.semanticLabel)) {
    return false;
  }
  if (!expected.title.empty() && !textEquals(read, ax::kTitleAttribute, expected.title))
    return false;
  if (!expected.description.empty() &&
      !textEquals(read, ax::kDescriptionAttribute, expected.description)) {
    return false;
  }
  if (!expected.identifier.empty() &&
      !textEquals(read, ax::kIdentifierAttribute, expected.identifier)) {
    return false;
  }
  if (compareValue(expected, strictValue) &&
      !textEquals(read, ax::kValueAttribute, expected.value)) {
    return false;
  }
  return true;
}

bool semanticIdentityMatches(platform::Accessibility& ax,
                             const AXElement& element,
                             const ElementExpectation& expected,
                             bool strictValue) {
  const std::vector<std::string_view> attributes = identityAttributes(expected, strictValue);
  return semanticIdentityMatches(ax, AttributeBatch(ax, element, attributes), expected,
                                 strictValue);
}

}  // namespace cuh
