// Process services: signals, identity, time, randomness.
#pragma once

#include <cstdint>
#include <string>

namespace cuh::platform {

class ProcessServices {
 public:
  virtual ~ProcessServices() = default;

  // kill(pid, 0): 0 when the process exists and may be signalled, non-zero
  // otherwise (no such process, or no permission).
  virtual int killZero(int32_t pid) = 0;
  // getpid.
  virtual int32_t currentPid() = 0;
  // NSProcessInfo systemUptime: seconds since boot, monotonic.
  virtual double systemUptime() = 0;
  // The current date: seconds since 1970-01-01 UTC.
  virtual double currentDate() = 0;
  // 64 bits from the system random number generator (arc4random_buf).
  virtual uint64_t random64() = 0;
  // [[NSUUID UUID] UUIDString]: a new random UUID, 36 characters, upper case.
  virtual std::string uuidString() = 0;
  // The working directory, absolute; used to make relative paths absolute.
  virtual std::string currentDirectory() = 0;
};

}  // namespace cuh::platform
