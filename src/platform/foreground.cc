#include "platform/foreground.h"

#include "platform/platform.h"
#include "platform/window_rows.h"

namespace cuh::platform {

std::optional<ForegroundSnapshot> currentForeground(Platform& platform) {
  auto frontmost = platform.workspace().frontmostApplication();
  if (!frontmost)
    return std::nullopt;
  int32_t pid = frontmost->processIdentifier();
  return ForegroundSnapshot{pid, frontmostWindowID(platform, pid)};
}

bool foregroundStillMatches(Platform& platform, const ForegroundSnapshot& snapshot) {
  auto frontmost = platform.workspace().frontmostApplication();
  if (!frontmost || frontmost->processIdentifier() != snapshot.pid)
    return false;
  return frontmostWindowID(platform, snapshot.pid) == snapshot.windowID;
}

}  // namespace cuh::platform
