// The per-target-process focus controller: the event tap installed on the
// events the window server routes to one process, the state its callback
// shares with the request code (FocusContext), and the focus state of the
// target that a request borrows and later gives back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foreground.h"
#include "platform/foreground_protection.h"
#include "platform/quartz/host.h"

namespace cuh::quartz {

// The events the tap watches: mouse-downs of every button, key-downs,
// scrolls, AppKit-defined (activation) events and window-state events.
inline constexpr uint64_t kFocusTapEventMask =
    CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventRightMouseDown) |
    CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(NSEventTypeAppKitDefined) |
    CGEventMaskBit(kEventTypeWindowState) | CGEventMaskBit(kCGEventScrollWheel) |
    CGEventMaskBit(kCGEventOtherMouseDown);
static_assert(kFocusTapEventMask == 0x260240A);

// What the tap callback reads and writes. Its address is the tap's user-info
// pointer; the controller owns it and outlives the tap.
struct FocusContext {
  // What the callback works on (frontmost application, window list,
  // posting, re-enabling the tap).
  Host* host = nullptr;
  int32_t controlledPID = 0;  // the target process
  int32_t helperPID = 0;      // this process
  // The protected foreground window; 0 = none.
  int32_t foregroundPID = 0;
  uint32_t foregroundWindowID = 0;
  // Protection is on for the current request or lease.
  bool protecting = false;
  // The target window of the current request.
  uint32_t expectedWindowID = 0;
  // The marker the system's own activation event carries; 0 = none.
  int64_t expectedStateMarker = 0;
  // The marked activation reached the target while the foreground matched.
  bool sawSyntheticActivation = false;
  // Semantic-guard mode (accessibility actions, leases) rather than
  // synthetic-state mode (posted input).
  bool semanticGuardActive = false;
  // The user took over during the current request or lease.
  bool userIntervened = false;
  // The tap, so that the callback can enable it again; cleared at teardown.
  EventTap eventTap;
};

class FocusController;

// A controller, or why there is none.
struct ControllerResult {
  platform::ProtectionOutcome outcome = platform::ProtectionOutcome::couldNotGuard;
  std::shared_ptr<FocusController> controller;  // set exactly when done
};

class FocusController final : public platform::GuardedTarget {
 public:
  // Installs a tap on `targetPID` with its run-loop source in the main run
  // loop, enabled. targetNotRunning when the target no longer runs,
  // couldNotGuard when the tap cannot be made; nothing stays installed then.
  static ControllerResult create(Host& host, int32_t targetPID);

  // Teardown: disables the tap, forgets it in the context, takes its source
  // out of the main run loop and invalidates the port.
  ~FocusController() override;
  FocusController(const FocusController&) = delete;
  FocusController& operator=(const FocusController&) = delete;

  FocusContext& context() { return *context_; }
  const FocusContext& context() const { return *context_; }
  const platform::RunningApplicationRef& runningApplication() const { return runningApplication_; }
  const EventTap& tap() const { return tap_; }

  // platform::GuardedTarget
  // The process found at creation still runs under its pid: false once it
  // quit or its pid belongs to another launch.
  bool targetsCurrentProcess() const override;
  platform::ProtectionReport report(const platform::ForegroundSnapshot& foreground) const override;
  void clear() override;

  // targetsCurrentProcess(), and the tap is valid and enabled.
  bool canProtectCurrentProcess() const;

  // The borrowed request state; empty between requests.
  platform::AXElement targetApp;
  platform::AXElement targetWindow;
  platform::AXElement originalFocusedWindow;
  platform::AXElement originalFocusedUIElement;
  std::optional<bool> originalTargetWindowFocused;
  uint32_t windowID = 0;

  // Whether a borrowed target application element is held.
  bool holdsBorrowedState() const { return static_cast<bool>(targetApp); }

 private:
  FocusController(Host& host,
                  std::unique_ptr<FocusContext> context,
                  platform::RunningApplicationRef runningApplication,
                  EventTap tap,
                  RunLoopSource source);

  Host& host_;
  std::unique_ptr<FocusContext> context_;
  platform::RunningApplicationRef runningApplication_;
  EventTap tap_;
  RunLoopSource source_;
};

// The protected foreground window is still in front: the frontmost
// application is the context's foreground pid and its front window the
// context's foreground window. False when the context protects none. Reads
// the window list each time.
bool protectedForegroundMatches(const FocusContext& context);

}  // namespace cuh::quartz
