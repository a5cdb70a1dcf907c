#include "guard/foreground_guard.h"

namespace cuh {

// Controllers and leases do not exist yet: every operation has nothing to act
// on.
ForegroundGuard::ForegroundGuard(platform::Platform& platform) : platform_(platform) {}
ForegroundGuard::~ForegroundGuard() = default;
void ForegroundGuard::restoreAfterRequest() {}
void ForegroundGuard::releaseControllers() {}
void ForegroundGuard::expireLease() {}
bool ForegroundGuard::hasLease() const {
  return false;
}
void ForegroundGuard::clearGuardLease() {}
void ForegroundGuard::sweepControllers() {}

}  // namespace cuh
