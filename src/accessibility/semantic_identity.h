// The identity comparison between a live element and an ElementExpectation:
// role, labels and (under the stated rule) value, compared as Unicode
// strings under canonical equivalence; nothing trimmed or case-folded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "accessibility/element_expectation.h"
#include "platform/accessibility.h"
#include "windows/ax_readers.h"

namespace cuh {

// The descendant label of an element: the first non-empty AXTitle,
// AXDescription or AXValue (in that order, per element) met in a
// pre-order walk of its descendants (the element itself excluded), reading
// the first 100 children of each element and examining at most 300
// descendants. "" when none is found. Each descendant examined costs one
// round trip (its three texts and its children read together).
std::string descendantLabel(platform::Accessibility& ax, const platform::AXElement& element);

// What semanticIdentityMatches reads of the element for `expected`: the
// role; the title, description and identifier when given; the value when it
// is compared; the children when a semantic label is given (where its walk
// starts).
std::vector<std::string_view> identityAttributes(const ElementExpectation& expected,
                                                 bool strictValue);

// Whether an element has the expected identity: the role always; the
// semantic label, title, description and identifier when given; the value
// when given and either `strictValue` is true or none of title, description
// and identifier is given. Never fails: unreadable attributes read as "".
// The element's own attributes come from `read`, a batch holding at least
// identityAttributes(expected, strictValue); the descendant label, when
// compared, is read from the element's descendants.
bool semanticIdentityMatches(platform::Accessibility& ax,
                             const AttributeBatch& read,
                             const ElementExpectation& expected,
                             bool strictValue);
// The same, reading identityAttributes in one round trip first.
bool semanticIdentityMatches(platform::Accessibility& ax,
                             const platform::AXElement& element,
                             const ElementExpectation& expected,
                             bool strictValue);

}  // namespace cuh
