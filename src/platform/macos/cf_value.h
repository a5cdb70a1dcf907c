// Core Foundation values and platform Values, both ways, and the element
// handle over AXUIElementRef. Shared by the accessibility and window-server
// services.
#pragma once

#include <string>
#include <string_view>

#include "platform/macos/apple_sdk.h"

#include "platform/element.h"
#include "platform/macos/scoped_cf.h"
#include "platform/value.h"

namespace cuh::macos {

// An AXUIElementRef behind a platform handle.
class MacElement final : public platform::ElementObject {
 public:
  explicit MacElement(ScopedCFTypeRef<AXUIElementRef> ref) : ref_(std::move(ref)) {}
  AXUIElementRef ref() const { return ref_.get(); }
  // CFEqual.
  bool isEqual(const platform::ElementObject& other) const override;

 private:
  ScopedCFTypeRef<AXUIElementRef> ref_;
};

// A handle over an element reference the caller owns (Create/Copy rule).
platform::AXElement adoptElement(AXUIElementRef ref);
// The reference behind a handle; null for a null handle or another backend's.
AXUIElementRef elementRef(const platform::AXElement& element);

// CFString from UTF-8; null when the bytes are not UTF-8.
ScopedCFTypeRef<CFStringRef> cfString(std::string_view text);
// UTF-8 of a CFString. A lone UTF-16 surrogate, which UTF-8 cannot carry,
// becomes '?', so UTF-16 offsets into the text stay valid.
std::string utf8String(CFStringRef string);

// The Value of a non-null CF object: CFString, CFAttributedString, CFNumber
// (integer or double per CFNumberIsFloatType), CFBoolean, CFDictionary
// (string keys), CFArray, AXUIElement, AXValue of a point, size or range;
// anything else is Other with its CFCopyDescription.
platform::Value valueFromCF(CFTypeRef object);
// The CF object of a Value (points, sizes and ranges through AXValueCreate);
// null for Other, a foreign element handle, or text that is not UTF-8.
ScopedCFTypeRef<CFTypeRef> valueToCF(const platform::Value& value);

}  // namespace cuh::macos
