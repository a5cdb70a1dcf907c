// Foreground protection: acting on a window of a background process while
// the user's own window stays in front. Per target process the service
// keeps a watch on what reaches the target, armed for one request or one
// guard lease: it notices the user taking over, keeps the target from
// taking the foreground, and gives back the focus state a request borrowed
// from the target. When to arm, how long to wait and what to answer is the
// caller's policy. Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/element.h"
#include "platform/foreground.h"
#include "platform/geometry.h"

namespace cuh::platform {

// How arming a target, or putting its window into synthetic active state,
// ended.
enum class ProtectionOutcome {
  // The target is protected (for the synthetic state: everything is sent).
  done,
  // No running application has the pid, or it has quit. Nothing installed.
  targetNotRunning,
  // The watch on the target could not be installed. Nothing installed.
  couldNotGuard,
  // The target refused to make the window its focused one. Nothing sent;
  // the focus state read so far is kept, to be given back at the end of
  // the request.
  focusRejected,
  // An event that tells the target its window is active could not be
  // built. The window is the target's focused one; what went before stays
  // sent.
  stateEventNotCreated,
  // A pointer event of the synthetic state could not be built. What went
  // before stays sent.
  mouseEventNotCreated,
};

// What happened to a protected target, judged at one moment.
struct ProtectionReport {
  // The user's window the caller names is still the one in front.
  bool foregroundPreserved = false;
  // Since arming, the user acted in the target (input from another process
  // reached it) or something activated it.
  bool userIntervened = false;
  // The target is the frontmost application.
  bool targetCameToFront = false;
  // The watch still works for this launch of the target and is armed in
  // semantic-guard mode.
  bool guardHealthy = false;
  // Since arming, a popup of the target appeared and was dismissed again
  // (see ForegroundProtection::popupDismissed); false where popups are
  // kept from opening.
  bool popupDismissed = false;
};

// A target armed in semantic-guard mode, as a request or a guard lease
// holds it. The handle keeps its protection alive: after the service let go
// of it (the target quit, its watch failed and was replaced) it still
// answers, and answers that it can no longer protect.
class GuardedTarget {
 public:
  virtual ~GuardedTarget() = default;
  // The process armed for still runs under its pid: false once it quit or
  // its pid belongs to another launch.
  virtual bool targetsCurrentProcess() const = 0;
  // What happened since arming; `foreground` is the user's window that was
  // protected.
  virtual ProtectionReport report(const ForegroundSnapshot& foreground) const = 0;
  // Disarms it without giving anything back; the watch stays installed
  // for the next request.
  virtual void clear() = 0;
};
using GuardedTargetRef = std::shared_ptr<GuardedTarget>;

struct SemanticGuardArming {
  ProtectionOutcome outcome = ProtectionOutcome::couldNotGuard;
  GuardedTargetRef target;  // set exactly when the outcome is done
};

class ForegroundProtection {
 public:
  virtual ~ForegroundProtection() = default;

  // ---- Semantic guard: accessibility actions and guard leases ----

  // Arms background process `targetPID` for window `windowID` while the
  // user's `foreground` window is in front: input that reaches the target
  // from any other process, and any activation of the target except one it
  // raises for itself while `foreground` is still in front (that one is
  // held back), count as the user taking over. Reuses the target's watch,
  // replaces one that can no longer protect, installs one on first use.
  // `targetPID` is never the foreground process. Outcomes: done,
  // targetNotRunning, couldNotGuard.
  virtual SemanticGuardArming armSemanticGuard(int32_t targetPID,
                                               uint32_t windowID,
                                               const ForegroundSnapshot& foreground) = 0;

  // ---- Synthetic active state: posted input ----

  // Whether input posted to background process `pid` can reach `window` as
  // its own. (macOS routes it only to the application's focused window.)
  virtual bool acceptsPostedInput(int32_t pid, const AXElement& window) = 0;
  // Arms background process `pid` for the user's `foreground` window,
  // saves the focus state the request borrows from it, and makes `window`
  // (window `windowID`, at `windowBounds` in screen points) the target's
  // active window without activating the application or raising anything.
  // The state is confirmed later, asynchronously, by the watch; see
  // syntheticStateReady. May block the main thread briefly (0.02 s on
  // macOS). `pid` is never the foreground process. Outcomes: every one.
  virtual ProtectionOutcome establishSyntheticState(int32_t pid,
                                                    uint32_t windowID,
                                                    const AXElement& window,
                                                    const Rect& windowBounds,
                                                    const ForegroundSnapshot& foreground) = 0;
  // The synthetic state of window `windowID` of `pid` is confirmed and
  // still holds: the watch saw it take effect while the user's window was
  // in front, the window is still the target's focused one, and nobody
  // took over. False when no state was established for that window.
  virtual bool syntheticStateReady(int32_t pid, uint32_t windowID) = 0;

  // A popup of `pid` (a menu or list it opened, where macOS would have
  // kept it from opening) appeared while the target was protected in this
  // request and was dismissed again: what opened it may have taken effect.
  // Desktops whose protection keeps popups from opening answer false.
  virtual bool popupDismissed(int32_t /*pid*/) { return false; }

  // ---- End of a request, shutdown, housekeeping ----

  // After every request: gives back what the request borrowed from each
  // target, but only where the protected user's window is still in front
  // and nobody took over; then disarms every target. Watches stay.
  virtual void restoreAfterRequest() = 0;
  // Gives back borrowed state as restoreAfterRequest does, then removes
  // every watch.
  virtual void releaseControllers() = 0;
  // Removes, without giving anything back, the watches of targets whose
  // process is gone or whose pid now belongs to another launch.
  virtual void sweepControllers() = 0;
};

}  // namespace cuh::platform
