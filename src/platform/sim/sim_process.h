// Process services of the simulated desktop: the desktop's clock, the real
// process identity, and kill(pid, 0) answers that tests may override.
#pragma once

#include <map>
#include <mutex>
#include <random>

#include "platform/process.h"
#include "platform/sim/clock.h"

namespace cuh::sim {

class SimProcess final : public platform::ProcessServices {
 public:
  explicit SimProcess(Clock& clock);

  int killZero(int32_t pid) override;
  int32_t currentPid() override;
  double systemUptime() override;
  double currentDate() override;
  uint64_t random64() override;
  std::string uuidString() override;
  std::string currentDirectory() override;

  void setProcessAlive(int32_t pid, bool alive);

 private:
  Clock& clock_;
  std::mutex mutex_;  // the timer and the reader may ask from different threads
  std::map<int32_t, bool> alive_;
  std::mt19937_64 random_;
};

}  // namespace cuh::sim
