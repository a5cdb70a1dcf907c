// ForegroundGuard: the request state of foreground protection that the
// delegate owns (the focus controllers by target pid, the optional guard
// lease and the process-wide mouse-event counter), with the operations the
// dispatcher, the completion, the one-second timer, element actions and
// posted input call. Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "guard/focus_controller.h"
#include "guard/guard_lease.h"
#include "platform/foreground.h"
#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

class ForegroundGuard {
 public:
  // Lifetime of a guard lease in seconds ("expiresInMs" 20000).
  static constexpr double kGuardLeaseDuration = 20.0;

  explicit ForegroundGuard(platform::Platform& platform);
  // Drops the lease and every controller (tearing their taps down) without
  // restoring; the delegate calls releaseControllers() before that.
  ~ForegroundGuard();
  ForegroundGuard(const ForegroundGuard&) = delete;
  ForegroundGuard& operator=(const ForegroundGuard&) = delete;

  // ---- Request ends, shutdown and housekeeping ----

  // Steps 1 and 2 of finish(id:result:error:): when some controller holds
  // borrowed state, restore every controller against the current
  // foreground; the workspace is not asked otherwise.
  void restoreAfterRequest();
  // releaseControllers(): restore every controller against the current
  // foreground, then drop them all (tearing their taps down). The lease is
  // not touched.
  void releaseControllers();
  // The one-second sweep: drops, without restoring, the controllers whose
  // process is gone or whose pid now belongs to another launch.
  void sweepControllers();

  // ---- Controllers ----

  // controller(targetPID:foreground:): the target's controller, armed for
  // `foreground`; created on first use, replaced when it can no longer
  // protect. Null when the target is the foreground process. Throws
  // HelperFailure.
  std::shared_ptr<FocusController> controller(int32_t targetPID,
                                              const platform::ForegroundSnapshot& foreground);
  // The registered controller of `pid`, null when none.
  std::shared_ptr<FocusController> controllerFor(int32_t pid) const;
  const std::map<int32_t, std::shared_ptr<FocusController>>& controllers() const {
    return controllers_;
  }

  // ---- Synthetic active/key state (posted input) ----

  // Throws unless the target process is the foreground one or `window` is
  // its application's "AXFocusedWindow".
  void requireInternallyFocusedWindow(int32_t pid,
                                      const platform::AXElement& window,
                                      const platform::ForegroundSnapshot& foreground);
  // Arms the controller, saves the target's focus state, focuses `window`
  // through accessibility and posts the window-state event, the marked
  // activation event and the focus click. Blocks 0.02 s. Throws
  // HelperFailure. Does nothing when the target is the foreground process.
  void establishSyntheticState(int32_t pid,
                               uint32_t windowID,
                               const platform::AXElement& window,
                               const platform::Rect& windowBounds,
                               const platform::ForegroundSnapshot& foreground);
  // Whether posted input may go to `windowID` now.
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
  // Reserves two consecutive mouse event numbers (down and up) and returns
  // the first.
  int64_t reserveMouseEventNumbers();
  int64_t nextMouseEventNumber() const { return nextMouseEventNumber_; }

  // ---- Semantic guard (accessibility actions) ----

  // Arms the target's controller in semantic-guard mode for `windowID`. Null
  // when the target is the foreground process. Throws HelperFailure.
  std::shared_ptr<FocusController> armSemanticGuard(int32_t pid,
                                                    uint32_t windowID,
                                                    const platform::ForegroundSnapshot& foreground);
  // Throws unless the foreground is unchanged and the guard saw no
  // intervention; the message says whether the mutation may have happened.
  void verifySemanticGuard(const std::shared_ptr<FocusController>& controller,
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
  // clearGuardLease(): clears the lease controller's request state (a lease
  // borrows no focus state) and forgets the lease.
  void clearGuardLease();

 private:
  platform::Platform& platform_;
  std::map<int32_t, std::shared_ptr<FocusController>> controllers_;
  std::optional<GuardLease> guardLease_;
  int64_t nextMouseEventNumber_ = 1;
  // Delayed steps hold this weakly and end silently once it is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace cuh
