#include "platform/sim/sim_process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

namespace cuh::sim {

SimProcess::SimProcess(Clock& clock) : clock_(clock) {
  std::random_device device;
  random_.seed((static_cast<uint64_t>(device()) << 32) ^ device());
}

int SimProcess::killZero(int32_t pid) {
  {
    std::lock_guard lock(mutex_);
    auto found = alive_.find(pid);
    if (found != alive_.end())
      return found->second ? 0 : -1;
  }
  // Never signal a process group or every process by accident.
  if (pid <= 0)
    return -1;
  return ::kill(pid, 0);
}

int32_t SimProcess::currentPid() {
  return static_cast<int32_t>(::getpid());
}

double SimProcess::systemUptime() {
  return clock_.uptime();
}

double SimProcess::currentDate() {
  return clock_.wallTime();
}

uint64_t SimProcess::random64() {
  std::lock_guard lock(mutex_);
  return random_();
}

std::string SimProcess::uuidString() {
  uint64_t high = random64();
  uint64_t low = random64();
  // Version 4, variant 1.
  high = (high & ~uint64_t{0xF000}) | 0x4000;
  low = (low & ~(uint64_t{0xC} << 60)) | (uint64_t{0x8} << 60);
  char text[37];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48),
                static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
  return text;
}

std::string SimProcess::currentDirectory() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer))
    return buffer;
  return "/";
}

void SimProcess::setProcessAlive(int32_t pid, bool alive) {
  std::lock_guard lock(mutex_);
  alive_[pid] = alive;
}

}  // namespace cuh::sim
