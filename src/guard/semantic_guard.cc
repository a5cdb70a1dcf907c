// The semantic guard: foreground protection around accessibility actions,
// which change the target directly and post no event.
#include "guard/foreground_guard.h"
#include "protocol/helper_failure.h"

namespace cuh {

std::shared_ptr<FocusController> ForegroundGuard::armSemanticGuard(
    int32_t pid,
    uint32_t windowID,
    const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return nullptr;
  if (foreground.windowID == 0) {
    throw HelperFailure(
        "Could not identify the exact foreground macOS window; no accessibility action was sent");
  }
  std::shared_ptr<FocusController> focus = controller(pid, foreground);
  if (!focus)
    return nullptr;
  FocusContext& context = focus->context();
  context.expectedWindowID = windowID;
  context.expectedStateMarker = 0;
  context.sawSyntheticActivation = false;
  context.semanticGuardActive = true;
  return focus;
}

void ForegroundGuard::verifySemanticGuard(const std::shared_ptr<FocusController>& controller,
                                          const platform::ForegroundSnapshot& foreground,
                                          bool mutationMayHaveCompleted) {
  if (!controller)
    return;
  const FocusContext& context = controller->context();
  bool holds = platform::foregroundStillMatches(platform_, foreground) &&
               controller->canProtectCurrentProcess() && context.protecting &&
               context.semanticGuardActive && !context.userIntervened;
  if (holds) {
    auto frontmost = platform_.workspace().frontmostApplication();
    holds = !frontmost || frontmost->processIdentifier() != context.controlledPID;
  }
  if (holds)
    return;
  if (mutationMayHaveCompleted) {
    throw HelperFailure(
        "The macOS accessibility action may have completed after foreground protection changed "
        "and cannot be safely retried");
  }
  throw HelperFailure(
      "Zuzozevu Viv stopped because the user changed the foreground window; no accessibility "
      "action was sent");
}

}  // namespace cuh
