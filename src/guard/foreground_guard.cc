#include "guard/foreground_guard.h"

#include <vector>

#include "guard/request_state.h"

namespace cuh {

ForegroundGuard::ForegroundGuard(platform::Platform& platform) : platform_(platform) {}

ForegroundGuard::~ForegroundGuard() {
  guardLease_.reset();
  controllers_.clear();
}

std::shared_ptr<FocusController> ForegroundGuard::controller(
    int32_t targetPID,
    const platform::ForegroundSnapshot& foreground) {
  if (targetPID == foreground.pid)
    return nullptr;

  std::shared_ptr<FocusController> found;
  if (auto it = controllers_.find(targetPID); it != controllers_.end()) {
    if (it->second->canProtectCurrentProcess()) {
      found = it->second;
    } else {
      // Relaunched target, or a tap the system invalidated or left
      // disabled: give back what it borrowed and start over.
      std::shared_ptr<FocusController> old = it->second;
      restoreRequestState(platform_, *old, platform::currentForeground(platform_));
      controllers_.erase(targetPID);
    }
  }
  if (!found) {
    found = FocusController::create(platform_, targetPID);
    controllers_[targetPID] = found;
  }

  FocusContext& context = found->context();
  context.foregroundPID = foreground.pid;
  context.foregroundWindowID = foreground.windowID;
  context.protecting = true;
  context.userIntervened = false;
  return found;
}

std::shared_ptr<FocusController> ForegroundGuard::controllerFor(int32_t pid) const {
  auto it = controllers_.find(pid);
  return it == controllers_.end() ? nullptr : it->second;
}

void ForegroundGuard::restoreAfterRequest() {
  bool borrowed = false;
  for (const auto& [pid, controller] : controllers_) {
    if (controller->holdsBorrowedState())
      borrowed = true;
  }
  std::optional<platform::ForegroundSnapshot> foreground;
  if (borrowed)
    foreground = platform::currentForeground(platform_);
  for (const auto& [pid, controller] : controllers_) {
    restoreRequestState(platform_, *controller, foreground);
  }
}

void ForegroundGuard::releaseControllers() {
  std::optional<platform::ForegroundSnapshot> foreground = platform::currentForeground(platform_);
  for (const auto& [pid, controller] : controllers_) {
    restoreRequestState(platform_, *controller, foreground);
  }
  controllers_.clear();
}

void ForegroundGuard::sweepControllers() {
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

}  // namespace cuh
