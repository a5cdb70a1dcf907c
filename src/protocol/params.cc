#include "protocol/params.h"

#include <cmath>
#include <limits>

#include "platform/window_server.h"
#include "protocol/helper_failure.h"

namespace cuh {

namespace {

const Json* find(const Json& params, std::string_view key) {
  if (!params.is_object())
    return nullptr;
  auto it = params.find(key);
  return it == params.end() ? nullptr : &*it;
}

// The integer value of a number, truncated toward zero; none when it does
// not fit in 64 bits.
std::optional<int64_t> integerValue(const Json& value) {
  if (value.is_boolean())
    return value.get<bool>() ? 1 : 0;
  if (value.is_number_unsigned()) {
    auto u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (value.is_number_integer())
    return value.get<int64_t>();
  double d = std::trunc(value.get<double>());
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
    return std::nullopt;
  return static_cast<int64_t>(d);
}

double doubleValue(const Json& value) {
  if (value.is_boolean())
    return value.get<bool>() ? 1.0 : 0.0;
  return value.get<double>();
}

}  // namespace

void throwMissingParameter(std::string_view key) {
  throw HelperFailure("Missing macOS computer-use parameter: " + std::string(key));
}

void throwParameterOutOfRange(std::string_view key) {
  throw HelperFailure("The macOS computer-use parameter " + std::string(key) + " is out of range");
}

bool isNumber(const Json& value) {
  return value.is_number() || value.is_boolean();
}

int64_t requiredInt(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !isNumber(*value))
    throwMissingParameter(key);
  auto result = integerValue(*value);
  if (!result)
    throwParameterOutOfRange(key);
  return *result;
}

double requiredDouble(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !isNumber(*value))
    throwMissingParameter(key);
  return doubleValue(*value);
}

std::string requiredString(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !value->is_string() || value->get_ref<const std::string&>().empty()) {
    throwMissingParameter(key);
  }
  return value->get<std::string>();
}

const Json& requiredDictionary(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !value->is_object())
    throwMissingParameter(key);
  return *value;
}

std::string optionalString(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !value->is_string())
    return {};
  return value->get<std::string>();
}

int32_t requiredPid(const Json& params, std::string_view key) {
  int64_t value = requiredInt(params, key);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throwParameterOutOfRange(key);
  }
  return static_cast<int32_t>(value);
}

uint32_t requiredWindowId(const Json& params, std::string_view key) {
  int64_t value = requiredInt(params, key);
  if (value < 0 || value > std::numeric_limits<uint32_t>::max())
    throwParameterOutOfRange(key);
  return static_cast<uint32_t>(value);
}

std::optional<double> optionalNumber(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !isNumber(*value))
    return std::nullopt;
  return doubleValue(*value);
}

std::optional<int64_t> optionalInt(const Json& params, std::string_view key) {
  const Json* value = find(params, key);
  if (!value || !isNumber(*value))
    return std::nullopt;
  auto result = integerValue(*value);
  if (!result)
    throwParameterOutOfRange(key);
  return result;
}

void readParameter(const Json& params, const ParamSpec& spec) {
  switch (spec.kind) {
    case ParamKind::pid:
      requiredPid(params, spec.key);
      return;
    case ParamKind::windowId:
      requiredWindowId(params, spec.key);
      return;
    case ParamKind::integer:
      requiredInt(params, spec.key);
      return;
    case ParamKind::number:
      requiredDouble(params, spec.key);
      return;
    case ParamKind::string:
      requiredString(params, spec.key);
      return;
    case ParamKind::dictionary:
      requiredDictionary(params, spec.key);
      return;
    case ParamKind::optionalNumber:
      optionalNumber(params, spec.key);
      return;
    case ParamKind::optionalInt:
      optionalInt(params, spec.key);
      return;
  }
}

}  // namespace cuh
