// The semantic guard on the Linux desktop, for accessibility actions:
// changes go to the target over the bus and no input is posted, so
// guarding them means judging, before and after the change, that the
// user's window is still in front, the target did not come to the front and
// is still the same launch. Posted input and the guard lease need the
// protection's event watches and stay unavailable until those exist.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/foreground_protection.h"
#include "platform/linux/desktop_session.h"

namespace cuh::platform {
class Platform;
}

namespace cuh::linux_desktop {

class SemanticGuardProtection final : public platform::ForegroundProtection {
 public:
  SemanticGuardProtection(DesktopSession& session, platform::Platform& platform)
      : session_(session), platform_(platform) {}

  // Posted input and the lease: not yet.
  platform::ProtectionOutcome availability() override {
    return platform::ProtectionOutcome::unavailable;
  }
  platform::ProtectionOutcome semanticGuardAvailability() override {
    return platform::ProtectionOutcome::done;
  }
  // Nothing is installed: the judgement reads the desktop each time.
  // targetNotRunning when `targetPID` has no process.
  platform::SemanticGuardArming armSemanticGuard(
      int32_t targetPID,
      uint32_t windowID,
      const platform::ForegroundSnapshot& foreground) override;

  bool acceptsPostedInput(int32_t, const platform::AXElement&) override { return false; }
  platform::ProtectionOutcome establishSyntheticState(
      int32_t,
      uint32_t,
      const platform::AXElement&,
      const platform::Rect&,
      const platform::ForegroundSnapshot&) override {
    return platform::ProtectionOutcome::unavailable;
  }
  bool syntheticStateReady(int32_t, uint32_t) override { return false; }
  // Nothing is borrowed or installed.
  void restoreAfterRequest() override {}
  void releaseControllers() override {}
  void sweepControllers() override {}

 private:
  DesktopSession& session_;
  platform::Platform& platform_;
};

}  // namespace cuh::linux_desktop
