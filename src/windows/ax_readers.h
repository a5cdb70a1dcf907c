// The small accessibility attribute readers all accessibility code shares.
// None of them fails: an unreadable attribute gives the empty result.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/attribute_reads.h"
#include "platform/geometry.h"

namespace cuh {

// The element's frame from AXPosition (a point) and AXSize (a
// size), in screen points; none when either is unreadable or of another kind.
std::optional<platform::Rect> rect(platform::Accessibility& ax, const platform::AXElement& element);

// A string; an attributed string's text; a number's
// stringValue (a boolean gives "1" or "0"); "" otherwise.
std::string stringAttribute(platform::Accessibility& ax,
                            const platform::AXElement& element,
                            std::string_view attribute);

// The action names in order; empty unless the call succeeds with
// a list of strings.
std::vector<std::string> actions(platform::Accessibility& ax, const platform::AXElement& element);

// AXChildren when it is a list of elements; empty otherwise.
std::vector<platform::AXElement> children(platform::Accessibility& ax,
                                          const platform::AXElement& element);

// An attribute whose value is a list of elements (AXWindows,
// AXChildren), in order; empty when unreadable or when the list holds
// anything but elements.
std::vector<platform::AXElement> elementList(platform::Accessibility& ax,
                                             const platform::AXElement& element,
                                             std::string_view attribute);

// Text of a value as stringAttribute reads it ("" for other kinds).
std::string textOf(const platform::Value& value);

}  // namespace cuh
