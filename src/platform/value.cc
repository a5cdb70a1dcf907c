#include "platform/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cuh::platform {

double Number::doubleValue() const {
  if (const auto* i = std::get_if<int64_t>(&value_)) return static_cast<double>(*i);
  return std::get<double>(value_);
}

bool Number::boolValue() const {
  if (const auto* i = std::get_if<int64_t>(&value_)) return *i != 0;
  return std::get<double>(value_) != 0.0;
}

std::optional<int64_t> Number::integerValue() const {
  if (const auto* i = std::get_if<int64_t>(&value_)) return *i;
  double d = std::trunc(std::get<double>(value_));
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return std::nullopt;
  return static_cast<int64_t>(d);
}

std::string Number::stringValue() const {
  if (const auto* i = std::get_if<int64_t>(&value_)) return std::to_string(*i);
  double d = std::get<double>(value_);
  char buffer[32];
  // %.17g round-trips; try shorter forms first so 0.5 stays "0.5".
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, d);
    if (std::strtod(buffer, nullptr) == d) break;
  }
  return buffer;
}

const Value* Value::find(std::string_view key) const {
  const auto* dictionary = as<Dictionary>();
  if (!dictionary) return nullptr;
  for (const auto& [k, v] : *dictionary) {
    if (k == key) return &v;
  }
  return nullptr;
}

}  // namespace cuh::platform
