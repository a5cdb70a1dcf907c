// The accessibility API (HIServices AXUIElement*), one call per method.
#include "platform/macos/apple_sdk.h"

#include <mutex>
#include <set>
#include <vector>

#include "platform/accessibility.h"
#include "platform/macos/cf_value.h"
#include "platform/macos/scoped_cf.h"
#include "platform/macos/services.h"

namespace cuh::macos {
namespace {

platform::AXError toPlatform(AXError error) {
  // The platform enum carries the same numbers; codes it does not name pass
  // through unchanged and read as failures.
  return static_cast<platform::AXError>(error);
}

// How long one call into an application may take before it fails with
// kAXErrorCannotComplete, instead of the system's much longer default.
constexpr float kMessagingTimeoutSeconds = 1.0f;

// One slot of a batched read: an AXValue of the error type is that error;
// CFNull (or nothing) is an attribute without a value, which a single read
// answers with kAXErrorNoValue; anything else is the value.
platform::AXResult<platform::Value> slotFromCF(CFTypeRef object) {
  if (!object || CFGetTypeID(object) == CFNullGetTypeID())
    return {platform::AXError::noValue, std::nullopt};
  if (CFGetTypeID(object) == AXValueGetTypeID()) {
    auto value = static_cast<AXValueRef>(object);
    if (AXValueGetType(value) == kAXValueTypeAXError) {
      AXError error = kAXErrorFailure;
      if (!AXValueGetValue(value, kAXValueTypeAXError, &error) || error == kAXErrorSuccess)
        error = kAXErrorFailure;
      return {toPlatform(error), std::nullopt};
    }
  }
  return {platform::AXError::success, valueFromCF(object)};
}

class MacAccessibility final : public MacAccessibilityService {
 public:
  // The timeout is set on the system-wide element, which makes it the
  // default of every element without one of its own.
  MacAccessibility() {
    ScopedCFTypeRef<AXUIElementRef> systemWide(AXUIElementCreateSystemWide());
    if (systemWide)
      AXUIElementSetMessagingTimeout(systemWide.get(), kMessagingTimeoutSeconds);
  }

  void requestEnded() override {
    std::lock_guard lock(mutex_);
    unresponsive_.clear();
  }

  bool isProcessTrusted() override { return AXIsProcessTrusted(); }

  bool isProcessTrustedWithOptions(bool prompt) override {
    const void* keys[] = {kAXTrustedCheckOptionPrompt};
    const void* values[] = {prompt ? kCFBooleanTrue : kCFBooleanFalse};
    ScopedCFTypeRef<CFDictionaryRef> options(CFDictionaryCreate(kCFAllocatorDefault, keys, values,
                                                                1, &kCFTypeDictionaryKeyCallBacks,
                                                                &kCFTypeDictionaryValueCallBacks));
    return AXIsProcessTrustedWithOptions(options.get());
  }

  platform::AXElement createApplication(int32_t pid) override {
    return adoptElement(AXUIElementCreateApplication(pid));
  }

  platform::AXResult<platform::Value> copyAttributeValue(const platform::AXElement& element,
                                                         std::string_view attribute) override {
    auto name = cfString(attribute);
    AXUIElementRef ref = elementRef(element);
    if (!name || !ref)
      return {platform::AXError::illegalArgument, std::nullopt};
    if (givenUp(ref))
      return {platform::AXError::cannotComplete, std::nullopt};
    CFTypeRef value = nullptr;
    platform::AXResult<platform::Value> result;
    result.error = noted(ref, AXUIElementCopyAttributeValue(ref, name.get(), &value));
    ScopedCFTypeRef<CFTypeRef> owned(value);
    if (owned)
      result.value = valueFromCF(owned.get());
    return result;
  }

  platform::AXResult<platform::AttributeSlots> copyMultipleAttributeValues(
      const platform::AXElement& element,
      std::span<const std::string_view> attributes,
      platform::CopyMultipleOptions options) override {
    AXUIElementRef ref = elementRef(element);
    if (!ref)
      return {platform::AXError::illegalArgument, std::nullopt};
    if (attributes.empty())
      return {platform::AXError::success, platform::AttributeSlots{}};
    if (givenUp(ref))
      return {platform::AXError::cannotComplete, std::nullopt};
    std::vector<ScopedCFTypeRef<CFStringRef>> names;
    std::vector<const void*> entries;
    names.reserve(attributes.size());
    entries.reserve(attributes.size());
    for (std::string_view attribute : attributes) {
      names.push_back(cfString(attribute));
      if (!names.back())
        return {platform::AXError::illegalArgument, std::nullopt};
      entries.push_back(names.back().get());
    }
    ScopedCFTypeRef<CFArrayRef> list(CFArrayCreate(kCFAllocatorDefault, entries.data(),
                                                   static_cast<CFIndex>(entries.size()),
                                                   &kCFTypeArrayCallBacks));
    if (!list)
      return {platform::AXError::failure, std::nullopt};
    CFArrayRef values = nullptr;
    const platform::AXError error = noted(
        ref, AXUIElementCopyMultipleAttributeValues(
                 ref, list.get(), static_cast<AXCopyMultipleAttributeOptions>(options), &values));
    ScopedCFTypeRef<CFArrayRef> owned(values);
    if (error != platform::AXError::success)
      return {error, std::nullopt};
    // One value per attribute asked, or the answer cannot be lined up with
    // the attributes at all.
    if (!owned || CFArrayGetCount(owned.get()) != static_cast<CFIndex>(attributes.size()))
      return {platform::AXError::failure, std::nullopt};
    platform::AttributeSlots slots;
    slots.reserve(attributes.size());
    for (CFIndex i = 0; i < CFArrayGetCount(owned.get()); ++i) {
      slots.push_back(slotFromCF(CFArrayGetValueAtIndex(owned.get(), i)));
      if (!slots.back().ok() && options == platform::CopyMultipleOptions::stopOnError)
        return {slots.back().error, std::nullopt};
    }
    return {platform::AXError::success, std::move(slots)};
  }

  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override {
    auto name = cfString(attribute);
    AXUIElementRef ref = elementRef(element);
    if (!name || !ref)
      return {platform::AXError::illegalArgument, std::nullopt};
    if (givenUp(ref))
      return {platform::AXError::cannotComplete, std::nullopt};
    Boolean settable = false;
    platform::AXResult<bool> result;
    result.error = noted(ref, AXUIElementIsAttributeSettable(ref, name.get(), &settable));
    if (result.ok())
      result.value = settable != 0;
    return result;
  }

  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override {
    auto name = cfString(attribute);
    auto object = valueToCF(value);
    AXUIElementRef ref = elementRef(element);
    if (!name || !object || !ref)
      return platform::AXError::illegalArgument;
    if (givenUp(ref))
      return platform::AXError::cannotComplete;
    return noted(ref, AXUIElementSetAttributeValue(ref, name.get(), object.get()));
  }

  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override {
    AXUIElementRef ref = elementRef(element);
    if (!ref)
      return {platform::AXError::illegalArgument, std::nullopt};
    if (givenUp(ref))
      return {platform::AXError::cannotComplete, std::nullopt};
    CFArrayRef names = nullptr;
    platform::AXResult<platform::Value> result;
    result.error = noted(ref, AXUIElementCopyActionNames(ref, &names));
    ScopedCFTypeRef<CFArrayRef> owned(names);
    if (owned)
      result.value = valueFromCF(owned.get());
    return result;
  }

  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override {
    auto name = cfString(action);
    AXUIElementRef ref = elementRef(element);
    if (!name || !ref)
      return platform::AXError::illegalArgument;
    if (givenUp(ref))
      return platform::AXError::cannotComplete;
    return noted(ref, AXUIElementPerformAction(ref, name.get()));
  }

  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override {
    AXUIElementRef ref = elementRef(application);
    if (!ref)
      return {platform::AXError::illegalArgument, std::nullopt};
    if (givenUp(ref))
      return {platform::AXError::cannotComplete, std::nullopt};
    AXUIElementRef hit = nullptr;
    platform::AXResult<platform::AXElement> result;
    result.error = noted(ref, AXUIElementCopyElementAtPosition(ref, x, y, &hit));
    if (hit)
      result.value = adoptElement(hit);
    return result;
  }

 private:
  static pid_t pidOf(AXUIElementRef ref) {
    pid_t pid = 0;
    return AXUIElementGetPid(ref, &pid) == kAXErrorSuccess ? pid : 0;
  }

  // Whether a call to the application of `ref` has not completed in this
  // request: then every further call to it fails at once, so a request
  // waits at most one timeout per hung application.
  bool givenUp(AXUIElementRef ref) {
    pid_t pid = pidOf(ref);
    std::lock_guard lock(mutex_);
    return pid > 0 && unresponsive_.count(pid) != 0;
  }

  // A call's answer, remembering the application when it did not complete.
  platform::AXError noted(AXUIElementRef ref, AXError error) {
    if (error == kAXErrorCannotComplete) {
      if (pid_t pid = pidOf(ref); pid > 0) {
        std::lock_guard lock(mutex_);
        unresponsive_.insert(pid);
      }
    }
    return toPlatform(error);
  }

  std::mutex mutex_;
  std::set<pid_t> unresponsive_;
};

}  // namespace

std::unique_ptr<MacAccessibilityService> createAccessibility() {
  return std::make_unique<MacAccessibility>();
}

}  // namespace cuh::macos
