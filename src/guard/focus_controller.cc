#include "guard/focus_controller.h"

#include "guard/focus_tap_callback.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"

namespace cuh {

std::shared_ptr<FocusController> FocusController::create(platform::Platform& platform,
                                                         int32_t targetPID) {
  auto runningApplication = platform.workspace().runningApplicationWithProcessIdentifier(targetPID);
  if (!runningApplication || runningApplication->isTerminated()) {
    throw HelperFailure("The target macOS app is no longer running; no background input was sent");
  }

  auto context = std::make_unique<FocusContext>();
  context->platform = &platform;
  context->controlledPID = targetPID;
  context->helperPID = platform.process().currentPid();

  auto& events = platform.events();
  platform::EventTap tap = events.tapCreateForPid(
      targetPID, platform::kCGHeadInsertEventTap, platform::kCGEventTapOptionDefault,
      kFocusTapEventMask, &focusTapCallback, context.get());
  platform::RunLoopSource source;
  if (tap)
    source = events.createRunLoopSource(tap);
  if (!tap || !source) {
    // An active tap that nobody services would hold up the target's events
    // until the system gives up on it: take a half-built one down at once.
    if (tap) {
      events.tapEnable(tap, false);
      events.machPortInvalidate(tap);
    }
    throw HelperFailure("Could not guard the foreground macOS app; no background input was sent");
  }

  std::shared_ptr<FocusController> controller(new FocusController(
      platform, std::move(context), std::move(runningApplication), tap, source));
  controller->context_->eventTap = tap;
  events.addSourceToMainRunLoop(source);
  events.tapEnable(tap, true);
  return controller;
}

FocusController::FocusController(platform::Platform& platform,
                                 std::unique_ptr<FocusContext> context,
                                 platform::RunningApplicationRef runningApplication,
                                 platform::EventTap tap,
                                 platform::RunLoopSource source)
    : platform_(platform),
      context_(std::move(context)),
      runningApplication_(std::move(runningApplication)),
      tap_(std::move(tap)),
      source_(std::move(source)) {}

FocusController::~FocusController() {
  auto& events = platform_.events();
  events.tapEnable(tap_, false);
  context_->eventTap.reset();
  events.removeSourceFromMainRunLoop(source_);
  events.machPortInvalidate(tap_);
}

bool FocusController::targetsCurrentProcess() const {
  if (runningApplication_->isTerminated())
    return false;
  auto current =
      platform_.workspace().runningApplicationWithProcessIdentifier(context_->controlledPID);
  return current && !current->isTerminated() && current->isEqual(*runningApplication_);
}

bool FocusController::canProtectCurrentProcess() const {
  if (!targetsCurrentProcess())
    return false;
  auto& events = platform_.events();
  return events.machPortIsValid(tap_) && events.tapIsEnabled(tap_);
}

bool protectedForegroundMatches(const FocusContext& context) {
  if (context.foregroundPID <= 0 || context.foregroundWindowID == 0)
    return false;
  return platform::foregroundStillMatches(
      *context.platform,
      platform::ForegroundSnapshot{context.foregroundPID, context.foregroundWindowID});
}

}  // namespace cuh
