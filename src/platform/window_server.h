// Quartz window services: the window server's list of windows.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/value.h"

namespace cuh::platform {

// CGWindowListOption bits.
enum WindowListOption : uint32_t {
  kCGWindowListOptionAll = 0,
  kCGWindowListOptionOnScreenOnly = 1,
  kCGWindowListOptionOnScreenAboveWindow = 2,
  kCGWindowListOptionOnScreenBelowWindow = 4,
  kCGWindowListOptionIncludingWindow = 8,
  kCGWindowListExcludeDesktopElements = 16,
};

// No window: the relative window of a query about all windows.
inline constexpr uint32_t kNullWindowID = 0;

// Row keys, spelled as the platform's CFString constants are (the macOS
// window list's own key names).
inline constexpr const char* kRowWindowNumber = "kCGWindowNumber";
inline constexpr const char* kRowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kRowOwnerName = "kCGWindowOwnerName";
inline constexpr const char* kRowWindowName = "kCGWindowName";
inline constexpr const char* kRowLayer = "kCGWindowLayer";
inline constexpr const char* kRowAlpha = "kCGWindowAlpha";
inline constexpr const char* kRowIsOnscreen = "kCGWindowIsOnscreen";
inline constexpr const char* kRowBounds = "kCGWindowBounds";

class WindowServer {
 public:
  virtual ~WindowServer() = default;

  // CGWindowListCopyWindowInfo(option, relativeToWindow). Normally an Array
  // of Dictionary rows, front to back, each entry as the window server gives
  // it (a missing or mistyped entry stays missing or mistyped). None when the
  // list cannot be read.
  virtual std::optional<Value> copyWindowInfo(uint32_t option, uint32_t relativeToWindow) = 0;
};

}  // namespace cuh::platform
