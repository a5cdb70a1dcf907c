// Core Foundation <-> platform Value translation.
#include "platform/macos/apple_sdk.h"

#include "platform/macos/cf_value.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cuh::macos {

bool MacElement::isEqual(const platform::ElementObject& other) const {
  const auto* mac = dynamic_cast<const MacElement*>(&other);
  return mac && CFEqual(ref_.get(), mac->ref_.get());
}

platform::AXElement adoptElement(AXUIElementRef ref) {
  if (!ref)
    return platform::AXElement();
  return platform::AXElement(
      std::make_shared<const MacElement>(ScopedCFTypeRef<AXUIElementRef>(ref)));
}

AXUIElementRef elementRef(const platform::AXElement& element) {
  const auto* mac = dynamic_cast<const MacElement*>(element.object());
  return mac ? mac->ref() : nullptr;
}

ScopedCFTypeRef<CFStringRef> cfString(std::string_view text) {
  return ScopedCFTypeRef<CFStringRef>(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                              static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

std::string utf8String(CFStringRef string) {
  if (!string)
    return std::string();
  const CFRange all = CFRangeMake(0, CFStringGetLength(string));
  CFIndex size = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, '?', false, nullptr, 0, &size);
  std::string out(static_cast<size_t>(size), '\0');
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, '?', false,
                   reinterpret_cast<UInt8*>(out.data()), size, &size);
  out.resize(static_cast<size_t>(size));
  return out;
}

platform::Value valueFromCF(CFTypeRef object) {
  const CFTypeID type = CFGetTypeID(object);
  if (type == CFStringGetTypeID()) {
    return platform::Value::string(utf8String(static_cast<CFStringRef>(object)));
  }
  if (type == CFAttributedStringGetTypeID()) {
    return platform::Value(platform::AttributedString{
        utf8String(CFAttributedStringGetString(static_cast<CFAttributedStringRef>(object)))});
  }
  if (type == CFBooleanGetTypeID()) {
    return platform::Value::boolean(CFBooleanGetValue(static_cast<CFBooleanRef>(object)));
  }
  if (type == CFNumberGetTypeID()) {
    auto number = static_cast<CFNumberRef>(object);
    if (CFNumberIsFloatType(number)) {
      double value = 0;
      CFNumberGetValue(number, kCFNumberDoubleType, &value);
      return platform::Value::floating(value);
    }
    int64_t value = 0;
    CFNumberGetValue(number, kCFNumberSInt64Type, &value);
    return platform::Value::integer(value);
  }
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(object);
    platform::Array out;
    const CFIndex count = CFArrayGetCount(array);
    out.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      out.push_back(valueFromCF(CFArrayGetValueAtIndex(array, i)));
    }
    return platform::Value(std::move(out));
  }
  if (type == CFDictionaryGetTypeID()) {
    auto dictionary = static_cast<CFDictionaryRef>(object);
    const auto count = static_cast<size_t>(CFDictionaryGetCount(dictionary));
    std::vector<const void*> keys(count);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    platform::Dictionary out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      // Dictionaries are string-keyed here; the window server and the
      // accessibility API use no other keys.
      if (CFGetTypeID(keys[i]) != CFStringGetTypeID())
        continue;
      out.emplace_back(utf8String(static_cast<CFStringRef>(keys[i])), valueFromCF(values[i]));
    }
    return platform::Value(std::move(out));
  }
  if (type == AXUIElementGetTypeID()) {
    return platform::Value(adoptElement(static_cast<AXUIElementRef>(CFRetain(object))));
  }
  if (type == AXValueGetTypeID()) {
    auto value = static_cast<AXValueRef>(object);
    switch (AXValueGetType(value)) {
      case kAXValueTypeCGPoint: {
        CGPoint point{};
        if (AXValueGetValue(value, kAXValueTypeCGPoint, &point)) {
          return platform::Value(platform::Point{point.x, point.y});
        }
        break;
      }
      case kAXValueTypeCGSize: {
        CGSize size{};
        if (AXValueGetValue(value, kAXValueTypeCGSize, &size)) {
          return platform::Value(platform::Size{size.width, size.height});
        }
        break;
      }
      case kAXValueTypeCFRange: {
        CFRange range{};
        if (AXValueGetValue(value, kAXValueTypeCFRange, &range)) {
          return platform::Value(platform::Range{range.location, range.length});
        }
        break;
      }
      default:
        break;
    }
  }
  ScopedCFTypeRef<CFStringRef> description(CFCopyDescription(object));
  return platform::Value(platform::Other{description ? utf8String(description.get()) : ""});
}

namespace {

ScopedCFTypeRef<CFTypeRef> adopt(CFTypeRef object) {
  return ScopedCFTypeRef<CFTypeRef>(object);
}

// Converts every entry; none when one of them cannot be converted.
bool convertAll(const platform::Array& values, std::vector<ScopedCFTypeRef<CFTypeRef>>& out) {
  for (const auto& value : values) {
    out.push_back(valueToCF(value));
    if (!out.back())
      return false;
  }
  return true;
}

}  // namespace

ScopedCFTypeRef<CFTypeRef> valueToCF(const platform::Value& value) {
  const auto& storage = value.storage();
  if (const auto* text = std::get_if<std::string>(&storage)) {
    return adopt(cfString(*text).release());
  }
  if (const auto* attributed = std::get_if<platform::AttributedString>(&storage)) {
    auto text = cfString(attributed->text);
    // The attributes argument is a dictionary, not optional: an empty one.
    ScopedCFTypeRef<CFDictionaryRef> noAttributes(
        CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                           &kCFTypeDictionaryValueCallBacks));
    if (!text || !noAttributes)
      return {};
    return adopt(CFAttributedStringCreate(kCFAllocatorDefault, text.get(), noAttributes.get()));
  }
  if (const auto* boolean = std::get_if<platform::Boolean>(&storage)) {
    return ScopedCFTypeRef<CFTypeRef>::retain(boolean->value ? kCFBooleanTrue : kCFBooleanFalse);
  }
  if (const auto* number = std::get_if<platform::Number>(&storage)) {
    if (number->isInteger()) {
      const int64_t integer = *number->integerValue();
      return adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &integer));
    }
    const double floating = number->doubleValue();
    return adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &floating));
  }
  if (const auto* point = std::get_if<platform::Point>(&storage)) {
    const CGPoint cg = CGPointMake(point->x, point->y);
    return adopt(AXValueCreate(kAXValueTypeCGPoint, &cg));
  }
  if (const auto* size = std::get_if<platform::Size>(&storage)) {
    const CGSize cg = CGSizeMake(size->width, size->height);
    return adopt(AXValueCreate(kAXValueTypeCGSize, &cg));
  }
  if (const auto* range = std::get_if<platform::Range>(&storage)) {
    const CFRange cf =
        CFRangeMake(static_cast<CFIndex>(range->location), static_cast<CFIndex>(range->length));
    return adopt(AXValueCreate(kAXValueTypeCFRange, &cf));
  }
  if (const auto* element = std::get_if<platform::AXElement>(&storage)) {
    return ScopedCFTypeRef<CFTypeRef>::retain(elementRef(*element));
  }
  if (const auto* array = std::get_if<platform::Array>(&storage)) {
    std::vector<ScopedCFTypeRef<CFTypeRef>> items;
    if (!convertAll(*array, items))
      return {};
    std::vector<const void*> refs;
    for (const auto& item : items)
      refs.push_back(item.get());
    return adopt(CFArrayCreate(kCFAllocatorDefault, refs.data(), static_cast<CFIndex>(refs.size()),
                               &kCFTypeArrayCallBacks));
  }
  if (const auto* dictionary = std::get_if<platform::Dictionary>(&storage)) {
    std::vector<ScopedCFTypeRef<CFTypeRef>> keys;
    std::vector<ScopedCFTypeRef<CFTypeRef>> values;
    for (const auto& [key, entry] : *dictionary) {
      keys.push_back(adopt(cfString(key).release()));
      values.push_back(valueToCF(entry));
      if (!keys.back() || !values.back())
        return {};
    }
    std::vector<const void*> keyRefs;
    std::vector<const void*> valueRefs;
    for (size_t i = 0; i < keys.size(); ++i) {
      keyRefs.push_back(keys[i].get());
      valueRefs.push_back(values[i].get());
    }
    return adopt(CFDictionaryCreate(
        kCFAllocatorDefault, keyRefs.data(), valueRefs.data(), static_cast<CFIndex>(keyRefs.size()),
        &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  }
  return {};  // Other: nothing the platform could be handed.
}

}  // namespace cuh::macos
