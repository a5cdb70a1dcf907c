// Foreground protection over Quartz events: the focus controllers by target
// pid, with their taps; the synthetic active/key state recipe; the semantic
// guard's arming; and the restore at the end of each request.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/foreground_protection.h"
#include "platform/quartz/focus_controller.h"
#include "platform/quartz/host.h"
#include "platform/quartz/mouse_event_numbers.h"

namespace cuh::quartz {

class QuartzForegroundProtection final : public platform::ForegroundProtection {
 public:
  QuartzForegroundProtection(Host& host, MouseEventNumbers& mouseEventNumbers);
  // Drops every controller (tearing their taps down) without restoring.
  ~QuartzForegroundProtection() override;
  QuartzForegroundProtection(const QuartzForegroundProtection&) = delete;
  QuartzForegroundProtection& operator=(const QuartzForegroundProtection&) = delete;

  // platform::ForegroundProtection
  platform::SemanticGuardArming armSemanticGuard(
      int32_t targetPID,
      uint32_t windowID,
      const platform::ForegroundSnapshot& foreground) override;
  bool acceptsPostedInput(int32_t pid, const platform::AXElement& window) override;
  platform::ProtectionOutcome establishSyntheticState(
      int32_t pid,
      uint32_t windowID,
      const platform::AXElement& window,
      const platform::Rect& windowBounds,
      const platform::ForegroundSnapshot& foreground) override;
  bool syntheticStateReady(int32_t pid, uint32_t windowID) override;
  void restoreAfterRequest() override;
  void releaseControllers() override;
  void sweepControllers() override;

  // ---- Controllers ----

  // The target's controller, armed for
  // `foreground`: created on first use, replaced when it can no longer
  // protect. The mode is the caller's to set.
  ControllerResult controller(int32_t targetPID, const platform::ForegroundSnapshot& foreground);
  // The registered controller of `pid`, null when none.
  std::shared_ptr<FocusController> controllerFor(int32_t pid) const;
  const std::map<int32_t, std::shared_ptr<FocusController>>& controllers() const {
    return controllers_;
  }

 private:
  Host& host_;
  MouseEventNumbers& mouseEventNumbers_;
  std::map<int32_t, std::shared_ptr<FocusController>> controllers_;
};

}  // namespace cuh::quartz
