// ForegroundGuard: the policy of foreground protection over the platform's
// ForegroundProtection service: the guard lease the delegate owns, the
// messages every protection failure answers with, the readiness poll of the
// synthetic state, and the checks around accessibility actions. The
// dispatcher, the completion, the one-second timer, element actions and
// posted input call it. Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "guard/guard_lease.h"
#include "platform/foreground.h"
#include "platform/foreground_protection.h"
#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

class ForegroundGuard {
 public:
  // Lifetime of a guard lease in seconds ("expiresInMs" 20000).
  static constexpr double kGuardLeaseDuration = 20.0;

  explicit ForegroundGuard(platform::Platform& platform);
  ForegroundGuard(const ForegroundGuard&) = delete;
  ForegroundGuard& operator=(const ForegroundGuard&) = delete;

  // ---- Request ends, shutdown and housekeeping ----

  // The first part of finish: gives back what the request
  // borrowed and disarms every target.
  void restoreAfterRequest();
  // releaseControllers(): gives back borrowed state, then drops every
  // target's protection. The lease is not touched.
  void releaseControllers();
  // The one-second sweep: drops, without giving anything back, the
  // protection of processes that are gone.
  void sweepControllers();

  // ---- Synthetic active/key state (posted input) ----

  // Throws unless the target process is the foreground one or posted input
  // can reach `window` as its own.
  void requireInternallyFocusedWindow(int32_t pid,
                                      const platform::AXElement& window,
                                      const platform::ForegroundSnapshot& foreground);
  // Arms the target and puts `window` into synthetic active/key state.
  // Does nothing when the target is the foreground process. Throws
  // HelperFailure with the message of the outcome.
  void establishSyntheticState(int32_t pid,
                               uint32_t windowID,
                               const platform::AXElement& window,
                               const platform::Rect& windowBounds,
                               const platform::ForegroundSnapshot& foreground);
  // Whether posted input may go to `windowID` now. With the target in
  // front: exactly when `windowID` is its front window.
  bool syntheticStateReady(int32_t pid,
                           uint32_t windowID,
                           const platform::ForegroundSnapshot& foreground);
  // Runs `completion` once the state is ready, the foreground changed, or 30
  // further checks 0.005 s apart found it not ready; at once when one holds
  // already. Delayed checks end silently when this object is gone.
  // `completion` runs on the main thread and must not throw: it reports its
  // own failures (through the request's completion).
  void afterSyntheticStateReady(int32_t pid,
                                uint32_t windowID,
                                const platform::ForegroundSnapshot& foreground,
                                int attempt,
                                std::function<void()> completion);

  // ---- Semantic guard (accessibility actions) ----

  // Arms the target in semantic-guard mode for `windowID`. Null when the
  // target is the foreground process (nothing to guard). Throws
  // HelperFailure.
  platform::GuardedTargetRef armSemanticGuard(int32_t pid,
                                              uint32_t windowID,
                                              const platform::ForegroundSnapshot& foreground);
  // Throws unless the foreground is unchanged, the guard is healthy, nobody
  // took over and the target is not in front; the message says whether the
  // mutation may have happened. Passes for a null target.
  void verifySemanticGuard(const platform::GuardedTargetRef& target,
                           const platform::ForegroundSnapshot& foreground,
                           bool mutationMayHaveCompleted);

  // ---- Guard lease ----

  // "begin_guard" and "end_guard": the result objects. Throw HelperFailure.
  Json beginGuard(const Json& params);
  Json endGuard(const Json& params);
  // The expiry rule: clears the lease when its time is up or its target
  // process is gone.
  void expireLease();
  bool hasLease() const { return guardLease_.has_value(); }
  const std::optional<GuardLease>& guardLease() const { return guardLease_; }
  // clearGuardLease(): disarms the lease's target (a lease borrows no focus
  // state) and forgets the lease.
  void clearGuardLease();

 private:
  platform::Platform& platform_;
  platform::ForegroundProtection& protection_;
  std::optional<GuardLease> guardLease_;
  // Delayed steps hold this weakly and end silently once it is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace cuh
