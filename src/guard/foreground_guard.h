// ForegroundGuard: the request state of foreground protection that the
// delegate owns (the focus controllers by target pid, the optional guard
// lease and the process-wide mouse-event counter), with the operations the
// dispatcher, the completion and the one-second timer call.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

class ForegroundGuard {
 public:
  explicit ForegroundGuard(platform::Platform& platform);
  ~ForegroundGuard();
  ForegroundGuard(const ForegroundGuard&) = delete;
  ForegroundGuard& operator=(const ForegroundGuard&) = delete;

  // Steps 1 and 2 of finish(id:result:error:): when some controller holds
  // borrowed state, restore every controller against the current
  // foreground; the workspace is not asked otherwise.
  void restoreAfterRequest();
  // releaseControllers(): restore every controller against the current
  // foreground, then drop them all (tearing their taps down).
  void releaseControllers();
  // The expiry rule: clears the lease when its time is up or its target
  // process is gone.
  void expireLease();
  bool hasLease() const;
  // clearGuardLease().
  void clearGuardLease();
  // The one-second sweep: drops the controllers of processes that are gone.
  void sweepControllers();

 private:
  platform::Platform& platform_;
};

}  // namespace cuh
