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

inline constexpr uint32_t kCGNullWindowID = 0;

// Row keys, spelled as the platform's CFString constants are.
inline constexpr const char* kCGWindowNumber = "kCGWindowNumber";
inline constexpr const char* kCGWindowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kCGWindowOwnerName = "kCGWindowOwnerName";
inline constexpr const char* kCGWindowName = "kCGWindowName";
inline constexpr const char* kCGWindowLayer = "kCGWindowLayer";
inline constexpr const char* kCGWindowAlpha = "kCGWindowAlpha";
inline constexpr const char* kCGWindowIsOnscreen = "kCGWindowIsOnscreen";
inline constexpr const char* kCGWindowBounds = "kCGWindowBounds";

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
