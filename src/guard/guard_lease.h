// GuardLease: one target window kept under foreground protection across
// several of the parent's own steps, for at most the lease duration.
#pragma once

#include <cstdint>
#include <string>

#include "platform/foreground.h"
#include "platform/foreground_protection.h"

namespace cuh {

struct GuardLease {
  std::string token;  // a new random UUID, 36 characters
  // The armed protection of the target; held for the length of the lease.
  platform::GuardedTargetRef controller;
  int32_t targetPID = 0;
  uint32_t targetWindowID = 0;
  platform::ForegroundSnapshot foreground;  // the user's window when the lease began
  double expiresAt = 0;                     // date: seconds since 1970, creation + duration
};

}  // namespace cuh
