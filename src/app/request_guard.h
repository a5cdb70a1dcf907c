// The foreground-protection operations the dispatcher, the completion and
// the one-second timer call, behind one small interface so that the request
// loop can be exercised on its own. The helper's own implementation forwards
// to ForegroundGuard.
#pragma once

#include <memory>

#include "guard/foreground_guard.h"
#include "platform/platform.h"

namespace cuh {

class RequestGuard {
 public:
  virtual ~RequestGuard() = default;
  // The first part of finish: gives back what the request borrowed.
  virtual void restoreAfterRequest() = 0;
  // releaseControllers().
  virtual void releaseControllers() = 0;
  // Clears the lease when its time is up or its target process is gone.
  virtual void expireLease() = 0;
  virtual bool hasLease() const = 0;
  // clearGuardLease().
  virtual void clearGuardLease() = 0;
  // Drops the controllers of processes that are gone.
  virtual void sweepControllers() = 0;
  // The real guard behind this interface; null for a stand-in.
  virtual ForegroundGuard* foregroundGuard() { return nullptr; }
};

// The RequestGuard that owns and forwards to the real ForegroundGuard.
std::unique_ptr<RequestGuard> makeForegroundRequestGuard(platform::Platform& platform);

}  // namespace cuh
