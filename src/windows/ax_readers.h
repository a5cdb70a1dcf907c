// The small accessibility attribute readers all accessibility code shares.
// None of them fails: an unreadable attribute gives the empty result.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/attribute_reads.h"
#include "platform/geometry.h"

namespace cuh {

// The element's frame from AXPosition (a point) and AXSize (a
// size), in screen points; none when either is unreadable or of another kind.
// One round trip: both are read together.
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

// Several attributes of one element, read in one round trip
// (copyMultipleAttributeValues without options, so that every attribute
// keeps its own answer). Each reader takes its slot with exactly the rules
// of the single reader it is named after, so reading in a batch never
// changes an answer; a batch that fails as a whole reads as if each single
// read had failed. The list of names is not copied: it must outlive the
// batch. Asking for an attribute the batch did not read is a mistake of the
// caller and reads as unreadable.
class AttributeBatch {
 public:
  AttributeBatch(platform::Accessibility& ax,
                 const platform::AXElement& element,
                 std::span<const std::string_view> attributes);

  // stringAttribute.
  std::string text(std::string_view attribute) const;
  // boolAttribute.
  std::optional<bool> boolean(std::string_view attribute) const;
  // elementAttribute.
  std::optional<platform::AXElement> element(std::string_view attribute) const;
  // elementList (children when the attribute is AXChildren).
  std::vector<platform::AXElement> elements(std::string_view attribute) const;
  // rect, from the batch's AXPosition and AXSize.
  std::optional<platform::Rect> frame() const;
  // The slot of one attribute, as a single read would have answered.
  const platform::AXResult<platform::Value>& slot(std::string_view attribute) const;

 private:
  std::span<const std::string_view> attributes_;
  platform::AttributeSlots slots_;
};

}  // namespace cuh
