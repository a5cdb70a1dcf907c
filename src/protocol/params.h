// Parameter readers: the one way every operation reads its request
// parameters. A missing, null or mistyped value raises the missing-parameter
// failure naming the key; JSON booleans count as the numbers 1 and 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/geometry.h"
#include "platform/value.h"
#include "protocol/json.h"

namespace cuh {

// "Missing macOS computer-use parameter: " + key.
[[noreturn]] void throwMissingParameter(std::string_view key);
// A number that does not fit what the caller converts it to.
[[noreturn]] void throwParameterOutOfRange(std::string_view key);

// A number (or boolean): its integer value, a fraction truncated toward zero.
// Values beyond the signed 64-bit range raise the out-of-range failure.
int64_t requiredInt(const Json& params, std::string_view key);
// A number (or boolean) as a double.
double requiredDouble(const Json& params, std::string_view key);
// A string of at least one character.
std::string requiredString(const Json& params, std::string_view key);
// An object.
const Json& requiredDictionary(const Json& params, std::string_view key);
// A string, unchanged (also when empty); "" for anything else. Never fails.
std::string optionalString(const Json& params, std::string_view key);

// requiredInt narrowed to a process id (signed 32-bit) or a window id
// (unsigned 32-bit); values outside raise the out-of-range failure.
int32_t requiredPid(const Json& params, std::string_view key);
uint32_t requiredWindowId(const Json& params, std::string_view key);

// The value under `key` when it is a number (or boolean); none otherwise.
std::optional<double> optionalNumber(const Json& params, std::string_view key);
// The integer value under `key` when it is a number (or boolean); none
// otherwise. A value beyond the signed 64-bit range raises the out-of-range
// failure.
std::optional<int64_t> optionalInt(const Json& params, std::string_view key);

// True when `value` is a number or a boolean (the platform number type).
bool isNumber(const Json& value);

// The reader a parameter goes through.
enum class ParamKind {
  pid,             // requiredPid
  windowId,        // requiredWindowId
  integer,         // requiredInt
  number,          // requiredDouble
  string,          // requiredString
  dictionary,      // requiredDictionary
  optionalNumber,  // optionalNumber
  optionalInt,     // optionalInt
};

// One parameter a method reads before it asks the desktop anything.
struct ParamSpec {
  std::string_view key;
  ParamKind kind;
};

// Reads `spec.key` from `params` with the reader of its kind, raising what
// that reader raises; the value read is discarded.
void readParameter(const Json& params, const ParamSpec& spec);

}  // namespace cuh
