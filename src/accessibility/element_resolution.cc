#include "accessibility/element_resolution.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "accessibility/semantic_identity.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "windows/ax_readers.h"

namespace cuh {

using platform::AXElement;

namespace {

bool hasPositiveSize(const platform::Rect& frame) {
  return frame.width() > 0 && frame.height() > 0;
}

// The element the path leads to, or none when a position is out of range or
// a child list is unreadable.
std::optional<AXElement> followPath(platform::Accessibility& ax,
                                    const AXElement& root,
                                    const std::vector<int64_t>& path) {
  AXElement current = root;
  for (int64_t position : path) {
    std::vector<AXElement> kids = children(ax, current);
    if (position < 0 || static_cast<uint64_t>(position) >= kids.size())
      return std::nullopt;
    current = std::move(kids[static_cast<size_t>(position)]);
  }
  return current;
}

// What is read of each element examined, in one round trip: what the
// identity comparison compares, the frame when the expectation has one, and
// the children when the search goes on below the element.
std::vector<std::string_view> examinedAttributes(const ElementExpectation& expected,
                                                 bool strictValue,
                                                 bool withChildren) {
  std::vector<std::string_view> attributes = identityAttributes(expected, strictValue);
  if (expected.hasFrame()) {
    attributes.push_back(ax::kPositionAttribute);
    attributes.push_back(ax::kSizeAttribute);
  }
  if (withChildren &&
      std::find(attributes.begin(), attributes.end(), ax::kChildrenAttribute) == attributes.end()) {
    attributes.push_back(ax::kChildrenAttribute);
  }
  return attributes;
}

// The score of an element that passed the identity comparison: 0 without an
// expected frame, else its geometry distance, else (no usable frame) the
// largest finite double.
double score(const AttributeBatch& read,
             const platform::Rect& windowBounds,
             const ElementExpectation& expected) {
  if (!expected.hasFrame())
    return 0;
  auto frame = read.frame();
  if (!frame || !hasPositiveSize(*frame))
    return std::numeric_limits<double>::max();
  return geometryDistance(expected, *frame, windowBounds);
}

bool withinTolerance(double distance) {
  return distance <= kGeometryTolerance;  // NaN never passes
}

[[noreturn]] void throwAmbiguous() {
  throw HelperFailure(
      "The indexed accessibility element is ambiguous after refetch. Call get_app_state again");
}

}  // namespace

AXElement resolveExpectedElement(platform::Accessibility& ax,
                                 const AXElement& root,
                                 const platform::Rect& windowBounds,
                                 const ElementExpectation& expected,
                                 bool requireDurableIdentity,
                                 bool strictValue) {
  if (requireDurableIdentity && !expected.hasDurableIdentity()) {
    throw HelperFailure(
        "The indexed accessibility element has no durable identity. Call get_app_state again and "
        "use an exact coordinate action");
  }

  const std::vector<std::string_view> leafAttributes =
      examinedAttributes(expected, strictValue, /*withChildren=*/false);
  const std::vector<std::string_view> expandedAttributes =
      examinedAttributes(expected, strictValue, /*withChildren=*/true);

  // Quick acceptance: the element the path still leads to, when it fits.
  if (auto atPath = followPath(ax, root, expected.path)) {
    const AttributeBatch read(ax, *atPath, leafAttributes);
    if (semanticIdentityMatches(ax, read, expected, strictValue) &&
        withinTolerance(score(read, windowBounds, expected))) {
      return *atPath;
    }
  }

  // Search. Candidates beyond the tolerance never count, so only those
  // within it are kept; a second one decides the answer (ambiguous) at once,
  // since nothing found later could undo that.
  struct Entry {
    AXElement element;
    int depth;
  };
  std::vector<Entry> stack{{root, 0}};
  std::optional<AXElement> found;
  int examined = 0;
  while (!stack.empty() && examined < kSearchElements) {
    Entry entry = std::move(stack.back());
    stack.pop_back();
    ++examined;
    // The children of the last element examined would never be examined.
    const bool expand = entry.depth <= kSearchExpandDepth && examined < kSearchElements;
    const AttributeBatch read(ax, entry.element, expand ? expandedAttributes : leafAttributes);
    if (semanticIdentityMatches(ax, read, expected, strictValue) &&
        withinTolerance(score(read, windowBounds, expected))) {
      if (found)
        throwAmbiguous();
      found = entry.element;
    }
    if (expand) {
      std::vector<AXElement> kids = read.elements(ax::kChildrenAttribute);
      size_t count = std::min(kids.size(), kSearchChildren);
      for (size_t i = count; i > 0; --i) {
        stack.push_back({std::move(kids[i - 1]), entry.depth + 1});
      }
    }
  }
  if (!found) {
    throw HelperFailure(
        "The indexed accessibility element is no longer present. Call get_app_state again");
  }
  return *found;
}

}  // namespace cuh
