// ForegroundSnapshot: the user's foreground window as a request found it.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace cuh {

struct ForegroundSnapshot {
  int32_t pid = 0;        // the frontmost application's process id
  uint32_t windowID = 0;  // frontmostWindowID(pid:) of it; 0 when it has none
  friend bool operator==(const ForegroundSnapshot&, const ForegroundSnapshot&) = default;
};

// The current snapshot: the frontmost application's pid with its front
// window id; none when no application is frontmost.
std::optional<ForegroundSnapshot> currentForeground(platform::Platform& platform);

}  // namespace cuh
