// Clocks behind the portable main loop: the real monotonic and wall clocks
// for the binary, and a virtual clock for unit tests under which sleeps and
// waits advance time at once, deterministically.
#pragma once

namespace cuh::sim {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic clock (the system uptime).
  virtual double uptime() const = 0;
  // Seconds since 1970-01-01 UTC.
  virtual double wallTime() const = 0;
  // A virtual clock never blocks: waiting advances it instead.
  virtual bool isVirtual() const = 0;
  // Virtual clocks only: moves time forward to `uptime` (never backward).
  virtual void advanceTo(double uptime) { (void)uptime; }
};

class RealClock final : public Clock {
 public:
  double uptime() const override;
  double wallTime() const override;
  bool isVirtual() const override { return false; }
};

class VirtualClock final : public Clock {
 public:
  // Starts at an uptime of 1000 s and a wall time in 2026, so that neither
  // value is a suspicious zero.
  explicit VirtualClock(double uptime = 1000.0, double wallAtStart = 1.7955e9)
      : uptime_(uptime), wallOffset_(wallAtStart - uptime) {}
  double uptime() const override { return uptime_; }
  double wallTime() const override { return uptime_ + wallOffset_; }
  bool isVirtual() const override { return true; }
  void advanceTo(double uptime) override {
    if (uptime > uptime_)
      uptime_ = uptime;
  }
  void advance(double seconds) { advanceTo(uptime_ + seconds); }

 private:
  double uptime_;
  double wallOffset_;
};

}  // namespace cuh::sim
