// Process services: signals, identity, time, randomness.
#include "platform/macos/apple_sdk.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/macos/services.h"
#include "platform/process.h"

namespace cuh::macos {
namespace {

class MacProcessServices final : public platform::ProcessServices {
 public:
  int killZero(int32_t pid) override {
    // kill(0, 0) and kill(-n, 0) probe process groups and succeed for any
    // live group; no pid at or below 0 names one process.
    if (pid <= 0)
      return -1;
    return kill(pid, 0);
  }

  int32_t currentPid() override { return getpid(); }

  double systemUptime() override { return NSProcessInfo.processInfo.systemUptime; }

  double currentDate() override { return [NSDate date].timeIntervalSince1970; }

  uint64_t random64() override {
    uint64_t value = 0;
    arc4random_buf(&value, sizeof value);
    return value;
  }

  // The UUIDString form, spelt from the UUID's bytes: UTF8String may answer
  // NULL, which a std::string must never be built from.
  std::string uuidString() override {
    uuid_t bytes;
    [[NSUUID UUID] getUUIDBytes:bytes];
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < sizeof bytes; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10)
        out.push_back('-');
      out.push_back(kHex[bytes[i] >> 4]);
      out.push_back(kHex[bytes[i] & 0xF]);
    }
    return out;
  }

  std::string currentDirectory() override {
    // getcwd with a null buffer allocates one of the needed size. It fails
    // only when the directory is gone or unreadable; the answer is then empty.
    char* path = getcwd(nullptr, 0);
    if (!path)
      return std::string();
    std::string out(path);
    free(path);
    return out;
  }
};

}  // namespace

std::unique_ptr<platform::ProcessServices> createProcessServices() {
  return std::make_unique<MacProcessServices>();
}

}  // namespace cuh::macos
