#include "platform/linux/target_watch.h"

namespace cuh::linux_desktop {

bool TargetWatch::targetsCurrentProcess() const {
  if (!launch_ || launch_->isTerminated())
    return false;
  auto current = platform_.workspace().runningApplicationWithProcessIdentifier(pid_);
  return current && !current->isTerminated() && current->isEqual(*launch_);
}

platform::ProtectionReport TargetWatch::report(
    const platform::ForegroundSnapshot& protectedForeground) const {
  if (readPendingEvents_)
    readPendingEvents_();
  platform::ProtectionReport report;
  report.foregroundPreserved = platform::foregroundStillMatches(platform_, protectedForeground);
  report.userIntervened = userIntervened;
  auto frontmost = platform_.workspace().frontmostApplication();
  report.targetCameToFront = frontmost && frontmost->processIdentifier() == pid_;
  report.guardHealthy = targetsCurrentProcess() && protecting && semanticGuardActive;
  report.popupDismissed = popupDismissed;
  return report;
}

void TargetWatch::clear() {
  foreground = {};
  userForeground = {};
  protecting = false;
  semanticGuardActive = false;
  userIntervened = false;
  popupDismissed = false;
  expectedWindowID = 0;
  focusedWindow = 0;
}

void TargetWatch::arm(const platform::ForegroundSnapshot& snapshot, ForegroundState state) {
  foreground = snapshot;
  userForeground = std::move(state);
  protecting = true;
  userIntervened = false;
}

}  // namespace cuh::linux_desktop
