#include "platform/linux/event_stamps.h"

namespace cuh::linux_desktop {
namespace {

// X times are 32 bits on the wire whatever the width of Time.
uint32_t wire(Time t) {
  return static_cast<uint32_t>(t);
}

}  // namespace

bool isLaterStamp(Time a, Time b) {
  return static_cast<int32_t>(wire(a) - wire(b)) > 0;
}

Time EventStamps::advanceTo(Time candidate) {
  candidate = wire(candidate);
  if (last_ && !isLaterStamp(candidate, *last_))
    candidate = wire(*last_ + 1);
  // CurrentTime means "whenever the server sees it": a stamp never is.
  if (candidate == CurrentTime)
    candidate = 1;
  last_ = candidate;
  return candidate;
}

Time EventStamps::next(Time serverNow) {
  return advanceTo(serverNow);
}

Time EventStamps::firstPress(Time serverNow) {
  Time candidate = wire(serverNow);
  if (lastPress_) {
    const Time apart = wire(*lastPress_ + doubleClickMs_ + 1);
    if (isLaterStamp(apart, candidate))
      candidate = apart;
  }
  lastPress_ = advanceTo(candidate);
  return *lastPress_;
}

Time EventStamps::following() {
  return advanceTo(last_ ? *last_ + 1 : 1);
}

Time EventStamps::press() {
  lastPress_ = following();
  return *lastPress_;
}

}  // namespace cuh::linux_desktop
