// The compact JSON writer of response lines. It writes what the platform's
// JSON writer writes: no spaces, "/" escaped as "\/", integers (and doubles
// with an integral value) without a fraction. Invalid UTF-8 in strings is
// written with each bad sequence replaced by U+FFFD, so a response is never
// lost to its encoding.
#pragma once

#include <string>
#include <string_view>

#include "protocol/json.h"

namespace cuh {

// Appends `value` to `out`. Returns false when the value holds a number
// that JSON cannot express (NaN or an infinity); `out` is then unspecified.
bool appendJson(std::string& out, const Json& value);
// Appends `text` as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view text);
// Appends a double as the platform writer does: integral values of
// moderate size without a fraction, others in their shortest round-trip
// form. The value must be finite.
void appendJsonDouble(std::string& out, double value);

// `text` with every invalid UTF-8 sequence replaced by U+FFFD (one per
// maximal invalid subpart, as the platform's decoders do).
std::string repairUtf8(std::string_view text);
// True when `text` is valid UTF-8.
bool isValidUtf8(std::string_view text);

}  // namespace cuh
