// Value: what the platform hands over for an accessibility attribute or a
// window-server row entry (a CFTypeRef in the real services). Every kind the
// core reads or writes has its own alternative; anything else is `Other`, so
// a mistyped entry stays visible to the code that reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/element.h"
#include "platform/geometry.h"

namespace cuh::platform {

// CFAttributedString: only its plain text matters here.
struct AttributedString {
  std::string text;
  friend bool operator==(const AttributedString&, const AttributedString&) = default;
};

// CFBoolean (kCFBooleanTrue / kCFBooleanFalse).
struct Boolean {
  bool value = false;
  friend bool operator==(const Boolean&, const Boolean&) = default;
};

// CFNumber / NSNumber: an integer or a double. The conversions are the
// platform number's own.
class Number {
 public:
  static Number integer(int64_t v) { return Number(v); }
  static Number floating(double v) { return Number(v); }

  bool isInteger() const { return std::holds_alternative<int64_t>(value_); }
  // doubleValue.
  double doubleValue() const;
  // boolValue: non-zero is true.
  bool boolValue() const;
  // longLongValue, truncating toward zero; none when the value does not fit
  // (instead of the platform's undefined conversion).
  std::optional<int64_t> integerValue() const;
  // stringValue: "5", "0.5", "-3".
  std::string stringValue() const;

  friend bool operator==(const Number&, const Number&) = default;

 private:
  explicit Number(int64_t v) : value_(v) {}
  explicit Number(double v) : value_(v) {}
  std::variant<int64_t, double> value_;
};

// Anything the core does not read (a CFData, a CFURL, an unknown AXValue
// kind). The description is for traces and debugging only.
struct Other {
  std::string description;
  friend bool operator==(const Other&, const Other&) = default;
};

class Value;
using Array = std::vector<Value>;
// A string-keyed dictionary, in the order the backend built it. Keys are
// unique.
using Dictionary = std::vector<std::pair<std::string, Value>>;

class Value {
 public:
  using Storage = std::variant<std::string,
                               AttributedString,
                               Number,
                               Boolean,
                               Point,
                               Size,
                               Range,
                               AXElement,
                               Array,
                               Dictionary,
                               Other>;

  Value() : storage_(Other{}) {}
  Value(Storage storage) : storage_(std::move(storage)) {}  // NOLINT: implicit by design

  static Value string(std::string s) { return Value(Storage(std::move(s))); }
  static Value boolean(bool b) { return Value(Storage(Boolean{b})); }
  static Value integer(int64_t v) { return Value(Storage(Number::integer(v))); }
  static Value floating(double v) { return Value(Storage(Number::floating(v))); }

  const Storage& storage() const { return storage_; }

  template <class T>
  const T* as() const {
    return std::get_if<T>(&storage_);
  }
  template <class T>
  bool is() const {
    return std::holds_alternative<T>(storage_);
  }

  // The entry under `key` when this is a dictionary holding it.
  const Value* find(std::string_view key) const;

 private:
  Storage storage_;
};

}  // namespace cuh::platform
