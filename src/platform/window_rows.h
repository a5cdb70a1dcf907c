// Reading the window server's list: rows, the row test that names one window
// by (pid, window id), and the foreground window of a process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/window_server.h"

namespace cuh::platform {

// Option values of the window-list queries.
inline constexpr uint32_t kListAllWindows = 16;       // listWindows()
inline constexpr uint32_t kListOnScreenWindows = 17;  // frontmostWindowID
inline constexpr uint32_t kListOneWindow = 24;        // windowRow

// The rows of one window-list query, front to back. Empty when the list
// cannot be read as a list of dictionaries.
std::vector<Value> windowListRows(WindowServer& server,
                                  uint32_t option,
                                  uint32_t relativeToWindow = kNullWindowID);

// The window number as unsigned 32-bit; none when missing, not a number or out
// of range.
std::optional<uint32_t> rowWindowNumber(const Value& row);
// The owner pid as signed 32-bit; none when missing, not a number or out
// of range.
std::optional<int32_t> rowOwnerPID(const Value& row);
// A string entry of the row; "" when missing or not a string.
std::string rowString(const Value& row, const char* key);

// A boolean entry of the row (a platform boolean, or a number's boolean
// value); false when missing or of another kind.
bool rowFlag(const Value& row, const char* key);

// The frame under the bounds key, when it is a dictionary whose "X", "Y",
// "Width" and "Height" are all numbers; screen points.
std::optional<Rect> rowBounds(const Value& row);

// A qualifying window: a layer entry that is a number equal to 0 and an alpha
// entry that is a number greater than 0.
bool rowQualifies(const Value& row);

// The row test: the row's owner pid and window number are present and equal
// `pid` and `windowID`, and the row qualifies.
bool rowMatches(const Value& row, int32_t pid, uint32_t windowID);

// The first row of the option-24 query relative to
// `windowID` that passes the row test; none otherwise.
std::optional<Value> windowRow(Platform& platform, int32_t pid, uint32_t windowID);

// The front qualifying on-screen window of `pid`;
// 0 when there is none.
uint32_t frontmostWindowID(Platform& platform, int32_t pid);

}  // namespace cuh::platform
