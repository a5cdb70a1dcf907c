// The user's foreground window: which application is in front and its
// front window, as the workspace and the window list tell.
#pragma once

#include <cstdint>
#include <optional>

namespace cuh::platform {

class Platform;

struct ForegroundSnapshot {
  int32_t pid = 0;        // the frontmost application's process id
  uint32_t windowID = 0;  // its front qualifying window; 0 when it has none
  friend bool operator==(const ForegroundSnapshot&, const ForegroundSnapshot&) = default;
};

// The foreground now; none when no application is frontmost.
std::optional<ForegroundSnapshot> currentForeground(Platform& platform);

// The foreground now equals `snapshot`: an application is frontmost, with
// the snapshot's pid and front window.
bool foregroundStillMatches(Platform& platform, const ForegroundSnapshot& snapshot);

}  // namespace cuh::platform
