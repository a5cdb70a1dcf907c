// Conversions between scene JSON and platform values, and the JSON form of
// values in the trace.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/value.h"

namespace cuh::sim {

// A scene value "as given": string, number, bool, {"attributed": text},
// {"x","y"} point, {"width","height"} size, [location, length] never (that is
// an array), arrays and other objects as arrays and dictionaries. null: no
// value. Throws SceneError (with `path`) for a value it cannot take.
std::optional<platform::Value> valueFromScene(const nlohmann::json& json,
                                              const std::string& path,
                                              int depth = 0);

// The trace's JSON form: strings, numbers, bools, ranges as [location,
// length], points as [x, y], sizes as [width, height], attributed strings as
// their text, elements by `nameOf`.
nlohmann::json traceValue(const platform::Value& value,
                          const std::function<std::string(const platform::AXElement&)>& nameOf);

// UTF-8 text and UTF-16 offsets (text ranges count UTF-16 code units).
size_t utf16Length(const std::string& text);
// The byte offset of UTF-16 offset `units` (clamped to the text).
size_t byteOffsetOfUtf16(const std::string& text, int64_t units);

}  // namespace cuh::sim
