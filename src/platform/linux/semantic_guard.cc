#include "platform/linux/semantic_guard.h"

#include <memory>

#include "platform/foreground.h"
#include "platform/platform.h"

namespace cuh::linux_desktop {

namespace {

// One armed target: the launch it was armed for (pid and start time).
class GuardedProcess final : public platform::GuardedTarget {
 public:
  GuardedProcess(DesktopSession& session,
                 platform::Platform& platform,
                 int32_t pid,
                 uint64_t startTicks)
      : session_(session), platform_(platform), pid_(pid), startTicks_(startTicks) {}

  bool targetsCurrentProcess() const override {
    return armed_ && processStartTicks(pid_) == std::optional<uint64_t>(startTicks_);
  }

  platform::ProtectionReport report(const platform::ForegroundSnapshot& foreground) const override {
    // The desktop now, not as this request first read it.
    session_.invalidateWindows();
    platform::ProtectionReport report;
    report.foregroundPreserved = platform::foregroundStillMatches(platform_, foreground);
    auto front = platform_.workspace().frontmostApplication();
    report.targetCameToFront = front && front->processIdentifier() == pid_;
    report.guardHealthy = targetsCurrentProcess();
    // The user's own input into the target is not watched here: that
    // needs the input extension's watch of posted input.
    report.userIntervened = false;
    return report;
  }

  void clear() override { armed_ = false; }

 private:
  DesktopSession& session_;
  platform::Platform& platform_;
  int32_t pid_;
  uint64_t startTicks_;
  bool armed_ = true;
};

}  // namespace

platform::SemanticGuardArming SemanticGuardProtection::armSemanticGuard(
    int32_t targetPID,
    uint32_t windowID,
    const platform::ForegroundSnapshot& foreground) {
  (void)windowID;
  (void)foreground;
  auto started = processStartTicks(targetPID);
  if (targetPID <= 0 || !started)
    return {platform::ProtectionOutcome::targetNotRunning, nullptr};
  return {platform::ProtectionOutcome::done,
          std::make_shared<GuardedProcess>(session_, platform_, targetPID, *started)};
}

}  // namespace cuh::linux_desktop
