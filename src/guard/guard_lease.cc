// The foreground guard lease: "begin_guard", "end_guard", expiry and
// clearing.
#include "guard/guard_lease.h"

#include "guard/foreground_guard.h"
#include "guard/protection_messages.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/exact_window.h"
#include "windows/listed_window.h"

namespace cuh {

namespace {

const ObservedWindowMessages kGuardWindowMessages{
    "The observed macOS guard window disappeared. Call get_app_state again",
    "The observed macOS guard window resized. Call get_app_state again",
};

}  // namespace

Json ForegroundGuard::beginGuard(const Json& params) {
  if (guardLease_)
    throw HelperFailure("A macOS foreground guard lease is already active");

  int32_t pid = requiredPid(params, "pid");
  uint32_t windowId = requiredWindowId(params, "windowId");
  double width = requiredDouble(params, "width");
  double height = requiredDouble(params, "height");

  ListedWindow listed =
      checkObservedWindow(platform_, pid, windowId, width, height, kGuardWindowMessages);
  auto running = platform_.workspace().runningApplicationWithProcessIdentifier(pid);
  if (!running || running->isTerminated()) {
    throw HelperFailure("The guarded macOS app is no longer running");
  }
  exactWindow(platform_, pid, windowId, listed.row);

  auto frontmost = platform_.workspace().frontmostApplication();
  if (!frontmost) {
    throw HelperFailure(
        "Could not identify the foreground macOS app; no background input was sent");
  }
  platform::ForegroundSnapshot foreground{frontmost->processIdentifier(), 0};
  foreground.windowID = platform::frontmostWindowID(platform_, foreground.pid);
  if (foreground.windowID == 0) {
    throw HelperFailure(
        "Could not identify the exact foreground macOS window; no guard was started");
  }
  if (foreground.pid == pid) {
    throw HelperFailure(
        "The guarded macOS app is already foreground; no background guard was started");
  }

  platform::SemanticGuardArming arming = protection_.armSemanticGuard(pid, windowId, foreground);
  throwUnlessDone(arming.outcome);
  if (!arming.target)
    throw HelperFailure("Could not create the background macOS foreground guard");

  GuardLease lease;
  lease.token = platform_.process().uuidString();
  lease.controller = std::move(arming.target);
  lease.targetPID = pid;
  lease.targetWindowID = windowId;
  lease.foreground = foreground;
  lease.expiresAt = platform_.process().currentDate() + kGuardLeaseDuration;
  guardLease_ = std::move(lease);

  return Json{
      {"token", guardLease_->token},
      {"targetPID", pid},
      {"targetWindowID", windowId},
      {"foregroundPID", foreground.pid},
      {"foregroundWindowID", foreground.windowID},
      {"expiresInMs", static_cast<int64_t>(kGuardLeaseDuration * 1000)},
  };
}

Json ForegroundGuard::endGuard(const Json& params) {
  std::string token = requiredString(params, "token");
  if (!guardLease_)
    throw HelperFailure("No macOS foreground guard lease is active");
  if (token != guardLease_->token) {
    throw HelperFailure("The macOS foreground guard token is invalid");
  }
  const GuardLease& lease = *guardLease_;

  std::optional<platform::ForegroundSnapshot> current = platform::currentForeground(platform_);
  platform::ProtectionReport report = lease.controller->report(lease.foreground);

  Json result{
      {"foregroundPreserved", report.foregroundPreserved},
      {"userIntervened", !report.foregroundPreserved || report.userIntervened},
      {"targetIsForeground", report.targetCameToFront},
      {"guardHealthy", report.guardHealthy},
      {"foregroundPID", current ? current->pid : 0},
      {"foregroundWindowID", current ? current->windowID : 0U},
      {"targetPID", lease.targetPID},
      {"targetWindowID", lease.targetWindowID},
  };
  clearGuardLease();
  return result;
}

void ForegroundGuard::expireLease() {
  if (!guardLease_)
    return;
  if (platform_.process().currentDate() >= guardLease_->expiresAt ||
      !guardLease_->controller->targetsCurrentProcess()) {
    clearGuardLease();
  }
}

void ForegroundGuard::clearGuardLease() {
  if (!guardLease_)
    return;
  guardLease_->controller->clear();
  guardLease_.reset();
}

}  // namespace cuh
