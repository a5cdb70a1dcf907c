// The identity comparison between a live element and an ElementExpectation:
// role, labels and (under the stated rule) value, compared as Unicode
// strings under canonical equivalence; nothing trimmed or case-folded.
#pragma once

#include <string>

#include "accessibility/element_expectation.h"
#include "platform/accessibility.h"

namespace cuh {

// The descendant label of an element: the first non-empty AXTitle,
// AXDescription or AXValue (in that order, per element) met in a
// pre-order walk of its descendants (the element itself excluded), reading
// the first 100 children of each element and examining at most 300
// descendants. "" when none is found.
std::string descendantLabel(platform::Accessibility& ax, const platform::AXElement& element);

// Whether an element has the expected identity: the role always; the
// semantic label, title, description and identifier when given; the value
// when given and either `strictValue` is true or none of title, description
// and identifier is given. Never fails: unreadable attributes read as "".
bool semanticIdentityMatches(platform::Accessibility& ax,
                             const platform::AXElement& element,
                             const ElementExpectation& expected,
                             bool strictValue);

}  // namespace cuh
