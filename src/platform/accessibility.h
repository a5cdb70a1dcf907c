// The accessibility API (AXUIElement*). Every call is a synchronous
// round trip into the target process and may fail; failures come back as
// AXError values, never as exceptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/element.h"
#include "platform/value.h"

namespace cuh::platform {

// AXError codes, with their platform values.
enum class AXError : int32_t {
  success = 0,
  failure = -25200,
  illegalArgument = -25201,
  invalidUIElement = -25202,
  cannotComplete = -25204,
  attributeUnsupported = -25205,
  actionUnsupported = -25206,
  notImplemented = -25208,
  apiDisabled = -25211,
  noValue = -25212,
};

// The outcome of a copying call: `error` is success exactly when the call
// succeeded; a successful call may still yield no value.
template <class T>
struct AXResult {
  AXError error = AXError::failure;
  std::optional<T> value;
  bool ok() const { return error == AXError::success; }
};

class Accessibility {
 public:
  virtual ~Accessibility() = default;

  // AXIsProcessTrusted: whether this process may use the accessibility API.
  virtual bool isProcessTrusted() = 0;
  // AXIsProcessTrustedWithOptions with {kAXTrustedCheckOptionPrompt: prompt}.
  // With prompt true the system may show its permission prompt.
  virtual bool isProcessTrustedWithOptions(bool prompt) = 0;

  // AXUIElementCreateApplication: the application element of `pid`. Always
  // returns a handle, even for a pid that is not an application; calls on it
  // then fail.
  virtual AXElement createApplication(int32_t pid) = 0;

  // AXUIElementCopyAttributeValue. Failure: the attribute has no value or
  // cannot be read. Success with no value is possible and means "nothing".
  virtual AXResult<Value> copyAttributeValue(const AXElement& element,
                                             std::string_view attribute) = 0;

  // AXUIElementIsAttributeSettable. The value is present on success.
  virtual AXResult<bool> isAttributeSettable(const AXElement& element,
                                             std::string_view attribute) = 0;

  // AXUIElementSetAttributeValue. Points, sizes and ranges travel as their
  // Value kinds (AXValueCreate); booleans as Boolean; text as string.
  virtual AXError setAttributeValue(const AXElement& element,
                                    std::string_view attribute,
                                    const Value& value) = 0;

  // AXUIElementCopyActionNames: normally an Array of strings, in the
  // element's order.
  virtual AXResult<Value> copyActionNames(const AXElement& element) = 0;

  // AXUIElementPerformAction.
  virtual AXError performAction(const AXElement& element, std::string_view action) = 0;

  // AXUIElementCopyElementAtPosition on an application element, at a screen
  // point given in 32-bit floats (the real call's precision).
  virtual AXResult<AXElement> copyElementAtPosition(const AXElement& application,
                                                    float x,
                                                    float y) = 0;
};

}  // namespace cuh::platform
