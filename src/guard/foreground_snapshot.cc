#include "guard/foreground_snapshot.h"

#include "windows/window_rows.h"

namespace cuh {

std::optional<ForegroundSnapshot> currentForeground(platform::Platform& platform) {
  auto frontmost = platform.workspace().frontmostApplication();
  if (!frontmost)
    return std::nullopt;
  int32_t pid = frontmost->processIdentifier();
  return ForegroundSnapshot{pid, frontmostWindowID(platform, pid)};
}

}  // namespace cuh
