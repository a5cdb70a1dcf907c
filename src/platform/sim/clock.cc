#include "platform/sim/clock.h"

#include <chrono>
#include <ctime>

namespace cuh::sim {

double RealClock::uptime() const {
  timespec ts{};
#ifdef CLOCK_BOOTTIME
  clock_gettime(CLOCK_BOOTTIME, &ts);
#else
  clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double RealClock::wallTime() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace cuh::sim
