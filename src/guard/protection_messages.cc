#include "guard/protection_messages.h"

#include "protocol/helper_failure.h"

namespace cuh {

void throwUnlessDone(platform::ProtectionOutcome outcome) {
  using platform::ProtectionOutcome;
  switch (outcome) {
    case ProtectionOutcome::done:
      return;
    case ProtectionOutcome::targetNotRunning:
      throw HelperFailure(
          "The target macOS app is no longer running; no background input was sent");
    case ProtectionOutcome::couldNotGuard:
      throw HelperFailure("Could not guard the foreground macOS app; no background input was sent");
    case ProtectionOutcome::focusRejected:
      throw HelperFailure(
          "The target app rejected synthetic background window focus; no input was sent");
    case ProtectionOutcome::stateEventNotCreated:
      throw HelperFailure("Could not create synthetic macOS window state");
    case ProtectionOutcome::mouseEventNotCreated:
      throw HelperFailure("Could not create the targeted macOS mouse event");
  }
  // A value no outcome has: whatever happened, nothing is protected.
  throw HelperFailure("Could not guard the foreground macOS app; no background input was sent");
}

}  // namespace cuh
