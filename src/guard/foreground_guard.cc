#include "guard/foreground_guard.h"

namespace cuh {

ForegroundGuard::ForegroundGuard(platform::Platform& platform)
    : platform_(platform), protection_(platform.foregroundProtection()) {}

void ForegroundGuard::restoreAfterRequest() {
  protection_.restoreAfterRequest();
}

void ForegroundGuard::releaseControllers() {
  protection_.releaseControllers();
}

void ForegroundGuard::sweepControllers() {
  protection_.sweepControllers();
}

}  // namespace cuh
