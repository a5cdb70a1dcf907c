// Foreground protection and background input on the Linux desktop: not
// built yet. Every arming and every gesture answers `unavailable` at once,
// and nothing is installed, changed or sent.
#pragma once

#include "platform/background_input.h"
#include "platform/foreground_protection.h"

namespace cuh::linux_desktop {

class UnavailableProtection final : public platform::ForegroundProtection {
 public:
  platform::ProtectionOutcome availability() override {
    return platform::ProtectionOutcome::unavailable;
  }
  platform::SemanticGuardArming armSemanticGuard(int32_t,
                                                 uint32_t,
                                                 const platform::ForegroundSnapshot&) override {
    return {platform::ProtectionOutcome::unavailable, nullptr};
  }
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
  // Nothing was ever borrowed or installed.
  void restoreAfterRequest() override {}
  void releaseControllers() override {}
  void sweepControllers() override {}
};

class UnavailableInput final : public platform::BackgroundInput {
 public:
  // `place` is not run: nothing is placed, built or sent.
  platform::InputOutcome send(int32_t, uint32_t, const platform::PlaceGesture&) override {
    return platform::InputOutcome::unavailable;
  }
};

}  // namespace cuh::linux_desktop
