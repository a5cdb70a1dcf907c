// Re-resolution of an observed element in the live tree of its window: the
// path walk with quick acceptance, then a bounded search with the 80-point
// geometry tolerance and the ambiguity rule. It refuses rather than guesses.
#pragma once

#include "accessibility/element_expectation.h"
#include "platform/accessibility.h"
#include "platform/geometry.h"

namespace cuh {

// A geometry distance at or below this is accepted (80 itself passes).
inline constexpr double kGeometryTolerance = 80.0;
// Search limits: elements of depth 15 or less have their children read
// (the root has depth 0), the first 120 children of each, at most 1200
// elements examined, the root included.
inline constexpr int kSearchExpandDepth = 15;
inline constexpr size_t kSearchChildren = 120;
inline constexpr int kSearchElements = 1200;

// resolveExpectedElement(root:windowBounds:expected:requireDurableIdentity:
// strictValue:): the one element under `root` (or `root` itself) that passes
// semanticIdentityMatches and, when the expectation has a frame, lies within
// the geometry tolerance of it. `windowBounds` is the window's frame in the
// window list. Raises HelperFailure:
// - "The indexed accessibility element has no durable identity. Call
//   get_app_state again and use an exact coordinate action" (only with
//   `requireDurableIdentity`, before anything is read);
// - "The indexed accessibility element is no longer present. Call
//   get_app_state again";
// - "The indexed accessibility element is ambiguous after refetch. Call
//   get_app_state again" (two or more within the tolerance, whatever their
//   distances; the search stops at the second, since nothing later could
//   change that answer).
platform::AXElement resolveExpectedElement(platform::Accessibility& ax,
                                           const platform::AXElement& root,
                                           const platform::Rect& windowBounds,
                                           const ElementExpectation& expected,
                                           bool requireDurableIdentity,
                                           bool strictValue);

}  // namespace cuh
