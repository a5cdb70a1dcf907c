#include "platform/quartz/focus_controller.h"

#include "platform/quartz/focus_tap_callback.h"
#include "platform/quartz/request_state.h"

namespace cuh::quartz {

using platform::ProtectionOutcome;

ControllerResult FocusController::create(Host& host, int32_t targetPID) {
  auto runningApplication =
      host.platform.workspace().runningApplicationWithProcessIdentifier(targetPID);
  if (!runningApplication || runningApplication->isTerminated())
    return {ProtectionOutcome::targetNotRunning, nullptr};

  auto context = std::make_unique<FocusContext>();
  context->host = &host;
  context->controlledPID = targetPID;
  context->helperPID = host.platform.process().currentPid();

  Events& events = host.events;
  EventTap tap = events.tapCreateForPid(targetPID, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
                                        kFocusTapEventMask, &focusTapCallback, context.get());
  RunLoopSource source;
  if (tap)
    source = events.createRunLoopSource(tap);
  if (!tap || !source) {
    // An active tap that nobody services would hold up the target's events
    // until the system gives up on it: take a half-built one down at once.
    if (tap) {
      events.tapEnable(tap, false);
      events.machPortInvalidate(tap);
    }
    return {ProtectionOutcome::couldNotGuard, nullptr};
  }

  std::shared_ptr<FocusController> controller(
      new FocusController(host, std::move(context), std::move(runningApplication), tap, source));
  controller->context_->eventTap = tap;
  events.addSourceToMainRunLoop(source);
  events.tapEnable(tap, true);
  return {ProtectionOutcome::done, std::move(controller)};
}

FocusController::FocusController(Host& host,
                                 std::unique_ptr<FocusContext> context,
                                 platform::RunningApplicationRef runningApplication,
                                 EventTap tap,
                                 RunLoopSource source)
    : host_(host),
      context_(std::move(context)),
      runningApplication_(std::move(runningApplication)),
      tap_(std::move(tap)),
      source_(std::move(source)) {}

FocusController::~FocusController() {
  Events& events = host_.events;
  events.tapEnable(tap_, false);
  context_->eventTap.reset();
  events.removeSourceFromMainRunLoop(source_);
  events.machPortInvalidate(tap_);
}

bool FocusController::targetsCurrentProcess() const {
  if (runningApplication_->isTerminated())
    return false;
  auto current =
      host_.platform.workspace().runningApplicationWithProcessIdentifier(context_->controlledPID);
  return current && !current->isTerminated() && current->isEqual(*runningApplication_);
}

bool FocusController::canProtectCurrentProcess() const {
  if (!targetsCurrentProcess())
    return false;
  return host_.events.machPortIsValid(tap_) && host_.events.tapIsEnabled(tap_);
}

platform::ProtectionReport FocusController::report(
    const platform::ForegroundSnapshot& foreground) const {
  platform::ProtectionReport report;
  report.foregroundPreserved = platform::foregroundStillMatches(host_.platform, foreground);
  report.guardHealthy =
      canProtectCurrentProcess() && context_->protecting && context_->semanticGuardActive;
  report.userIntervened = context_->userIntervened;
  auto frontmost = host_.platform.workspace().frontmostApplication();
  report.targetCameToFront = frontmost && frontmost->processIdentifier() == context_->controlledPID;
  return report;
}

void FocusController::clear() {
  clearRequestState(*this);
}

bool protectedForegroundMatches(const FocusContext& context) {
  if (context.foregroundPID <= 0 || context.foregroundWindowID == 0)
    return false;
  return platform::foregroundStillMatches(
      context.host->platform,
      platform::ForegroundSnapshot{context.foregroundPID, context.foregroundWindowID});
}

}  // namespace cuh::quartz
