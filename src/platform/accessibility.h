// The accessibility API (AXUIElement*). Every call is a synchronous
// round trip into the target process and may fail; failures come back as
// AXError values, never as exceptions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

// AXCopyMultipleAttributeOptions: how a batched read treats an attribute
// that cannot be read.
enum class CopyMultipleOptions : uint32_t {
  // Every attribute gets its slot, failed ones included.
  none = 0,
  // kAXCopyMultipleAttributeOptionStopOnError: the first attribute whose read
  // fails ends the call, which then fails with that attribute's error.
  stopOnError = 1,
};

// Why a change cannot be made in the background on this desktop.
enum class BackgroundRefusal {
  none,
  // The action would open a popup menu (a combo box, a menu of a menu bar
  // or a submenu): its items are chosen or pressed instead.
  opensMenu,
  // Focus can be given only by activating the element's window.
  focusActivatesWindow,
};

// The slots of a batched read, one per attribute asked, in the order asked.
using AttributeSlots = std::vector<AXResult<Value>>;

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

  // AXUIElementCopyMultipleAttributeValues: the attributes of one element,
  // read in one round trip. On success the value holds one slot per
  // attribute, in the order asked, and each slot is what copyAttributeValue
  // of that attribute alone would have answered at that moment: an error
  // (error set, no value), success with a value, or success without one.
  // Nothing is cached across calls.
  // The call itself fails (error set, no slots) when the element cannot be
  // asked at all (a handle of no element, an element that is gone, an
  // application that does not answer); every attribute's read would then
  // have failed with that error. With `stopOnError` it also fails with the
  // error of the first attribute whose read fails. An empty list succeeds
  // with no slots and costs no round trip.
  virtual AXResult<AttributeSlots> copyMultipleAttributeValues(
      const AXElement& element,
      std::span<const std::string_view> attributes,
      CopyMultipleOptions options) = 0;

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

  // Whether performing `action`, or setting the attribute of that name, on
  // `element` is something this desktop never does in the background; asked
  // before the change, which is then not attempted. macOS refuses nothing.
  virtual BackgroundRefusal backgroundRefusal(const AXElement& element,
                                              std::string_view actionOrAttribute) {
    (void)element;
    (void)actionOrAttribute;
    return BackgroundRefusal::none;
  }

  // AXUIElementCopyElementAtPosition on an application element, at a screen
  // point given in 32-bit floats (the real call's precision).
  virtual AXResult<AXElement> copyElementAtPosition(const AXElement& application,
                                                    float x,
                                                    float y) = 0;
};

}  // namespace cuh::platform
