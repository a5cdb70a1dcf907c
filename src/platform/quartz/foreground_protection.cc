#include "platform/quartz/foreground_protection.h"

#include <vector>

#include "platform/quartz/request_state.h"

namespace cuh::quartz {

using platform::ForegroundSnapshot;
using platform::ProtectionOutcome;

QuartzForegroundProtection::QuartzForegroundProtection(Host& host,
                                                       MouseEventNumbers& mouseEventNumbers)
    : host_(host), mouseEventNumbers_(mouseEventNumbers) {}

QuartzForegroundProtection::~QuartzForegroundProtection() {
  controllers_.clear();
}

ControllerResult QuartzForegroundProtection::controller(int32_t targetPID,
                                                        const ForegroundSnapshot& foreground) {
  std::shared_ptr<FocusController> found;
  if (auto it = controllers_.find(targetPID); it != controllers_.end()) {
    if (it->second->canProtectCurrentProcess()) {
      found = it->second;
    } else {
      // Relaunched target, or a tap the system invalidated or left
      // disabled: give back what it borrowed and start over.
      std::shared_ptr<FocusController> old = it->second;
      restoreRequestState(host_, *old, platform::currentForeground(host_.platform));
      controllers_.erase(targetPID);
    }
  }
  if (!found) {
    ControllerResult created = FocusController::create(host_, targetPID);
    if (!created.controller)
      return created;
    found = std::move(created.controller);
    controllers_[targetPID] = found;
  }

  FocusContext& context = found->context();
  context.foregroundPID = foreground.pid;
  context.foregroundWindowID = foreground.windowID;
  context.protecting = true;
  context.userIntervened = false;
  return {ProtectionOutcome::done, std::move(found)};
}

std::shared_ptr<FocusController> QuartzForegroundProtection::controllerFor(int32_t pid) const {
  auto it = controllers_.find(pid);
  return it == controllers_.end() ? nullptr : it->second;
}

platform::SemanticGuardArming QuartzForegroundProtection::armSemanticGuard(
    int32_t targetPID,
    uint32_t windowID,
    const ForegroundSnapshot& foreground) {
  ControllerResult armed = controller(targetPID, foreground);
  if (!armed.controller)
    return {armed.outcome, nullptr};
  FocusContext& context = armed.controller->context();
  context.expectedWindowID = windowID;
  context.expectedStateMarker = 0;
  context.sawSyntheticActivation = false;
  context.semanticGuardActive = true;
  return {ProtectionOutcome::done, std::move(armed.controller)};
}

void QuartzForegroundProtection::restoreAfterRequest() {
  bool borrowed = false;
  for (const auto& [pid, controller] : controllers_) {
    if (controller->holdsBorrowedState())
      borrowed = true;
  }
  // The workspace is asked only when something was borrowed.
  std::optional<ForegroundSnapshot> foreground;
  if (borrowed)
    foreground = platform::currentForeground(host_.platform);
  for (const auto& [pid, controller] : controllers_) {
    restoreRequestState(host_, *controller, foreground);
  }
}

void QuartzForegroundProtection::releaseControllers() {
  std::optional<ForegroundSnapshot> foreground = platform::currentForeground(host_.platform);
  for (const auto& [pid, controller] : controllers_) {
    restoreRequestState(host_, *controller, foreground);
  }
  controllers_.clear();
}

void QuartzForegroundProtection::sweepControllers() {
  std::vector<int32_t> stale;
  for (const auto& [pid, controller] : controllers_) {
    if (!controller->targetsCurrentProcess())
      stale.push_back(pid);
  }
  for (int32_t pid : stale) {
    auto it = controllers_.find(pid);
    if (it == controllers_.end())
      continue;
    // The process whose state was borrowed is gone: nothing to give back.
    clearRequestState(*it->second);
    controllers_.erase(it);
  }
}

}  // namespace cuh::quartz
