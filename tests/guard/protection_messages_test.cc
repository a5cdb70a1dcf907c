// Every way arming a target or establishing the synthetic state can fail,
// with the message the request answers.
#include "guard/protection_messages.h"

#include <gtest/gtest.h>

#include "support/failure_message.h"

namespace cuh::testing {
namespace {

using platform::ProtectionOutcome;

TEST(ProtectionMessages, EveryFailedOutcomeHasItsMessage) {
  struct Case {
    ProtectionOutcome outcome;
    const char* message;
  };
  const Case cases[] = {
      {ProtectionOutcome::done, ""},
      {ProtectionOutcome::targetNotRunning,
       "The target macOS app is no longer running; no background input was sent"},
      {ProtectionOutcome::couldNotGuard,
       "Could not guard the foreground macOS app; no background input was sent"},
      {ProtectionOutcome::focusRejected,
       "The target app rejected synthetic background window focus; no input was sent"},
      {ProtectionOutcome::stateEventNotCreated, "Could not create synthetic macOS window state"},
      {ProtectionOutcome::mouseEventNotCreated, "Could not create the targeted macOS mouse event"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.outcome));
    EXPECT_EQ(failureOf([&] { throwUnlessDone(c.outcome); }), c.message);
  }
}

}  // namespace
}  // namespace cuh::testing
