// The semantic guard: foreground protection around accessibility actions,
// which change the target directly and post no event.
#include "guard/foreground_guard.h"
#include "guard/protection_messages.h"
#include "protocol/helper_failure.h"
#include "protocol/messages.h"

namespace cuh {

platform::GuardedTargetRef ForegroundGuard::armSemanticGuard(
    int32_t pid,
    uint32_t windowID,
    const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return nullptr;
  if (foreground.windowID == 0) {
    throw HelperFailure(
        "Could not identify the exact foreground macOS window; no accessibility action was sent");
  }
  platform::SemanticGuardArming arming = protection_.armSemanticGuard(pid, windowID, foreground);
  throwUnlessDone(arming.outcome);
  return arming.target;
}

void ForegroundGuard::verifySemanticGuard(const platform::GuardedTargetRef& target,
                                          const platform::ForegroundSnapshot& foreground,
                                          bool mutationMayHaveCompleted) {
  if (!target)
    return;
  platform::ProtectionReport report = target->report(foreground);
  if (report.foregroundPreserved && report.guardHealthy && !report.userIntervened &&
      !report.targetCameToFront) {
    // The change opened a popup, closed again by the protection: it may
    // have done more than asked.
    if (mutationMayHaveCompleted && report.popupDismissed)
      throw HelperFailure(popupDismissedMessage("accessibility action"));
    return;
  }
  if (mutationMayHaveCompleted) {
    throw HelperFailure(
        "The macOS accessibility action may have completed after foreground protection changed "
        "and cannot be safely retried");
  }
  throw HelperFailure(stoppedByForegroundChange("accessibility action"));
}

}  // namespace cuh
