// The main thread's loop: the main dispatch queue, timers and the run loop.
#include "platform/macos/apple_sdk.h"

#include <algorithm>
#include <cmath>

#include "platform/macos/services.h"
#include "platform/main_loop.h"

namespace cuh::macos {
namespace {

// Seconds as dispatch_time nanoseconds. A negative or NaN delay means now;
// a delay beyond a century is capped there (the conversion would overflow).
int64_t delayNanoseconds(double seconds) {
  if (!(seconds > 0))
    return 0;
  return static_cast<int64_t>(std::min(seconds, 3.2e9) * NSEC_PER_SEC);
}

// Runs one work item under a dispatch or run-loop block, which no C++
// exception may leave. A failed item ends there; what it held (a request's
// reply handle among it) is released with the block, and the helper goes on.
void runItem(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
  }
}

class MacRepeatingTimer final : public platform::RepeatingTimerObject {
 public:
  explicit MacRepeatingTimer(NSTimer* timer) : timer_(timer) {}
  ~MacRepeatingTimer() override { [timer_ invalidate]; }

 private:
  NSTimer* timer_;
};

class MacMainLoop final : public platform::MainLoop {
 public:
  void post(std::function<void()> work) override {
    dispatch_async(dispatch_get_main_queue(), ^{
      runItem(work);
    });
  }

  void postDelayed(double seconds, std::function<void()> work) override {
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, delayNanoseconds(seconds)),
                   dispatch_get_main_queue(), ^{
                     runItem(work);
                   });
  }

  platform::RepeatingTimer scheduleRepeatingTimer(double interval,
                                                  std::function<void()> block) override {
    NSTimer* timer = [NSTimer scheduledTimerWithTimeInterval:interval
                                                     repeats:YES
                                                       block:^(NSTimer*) {
                                                         runItem(block);
                                                       }];
    // Called on the main thread, so the timer is scheduled on the main run
    // loop, in its default mode only; the common modes keep it firing while a
    // tracking loop or another mode runs.
    [NSRunLoop.mainRunLoop addTimer:timer forMode:NSRunLoopCommonModes];
    return std::make_shared<MacRepeatingTimer>(timer);
  }

  void runFor(double seconds) override {
    if (std::isnan(seconds))
      seconds = 0;
    NSDate* deadline = [NSDate dateWithTimeIntervalSinceNow:seconds];
    [NSRunLoop.currentRunLoop runUntilDate:deadline];
    // runUntilDate: returns at once when the run loop has no source at all;
    // nothing could be delivered then, and the caller still waits its time.
    [NSThread sleepUntilDate:deadline];
  }

  void sleep(double seconds) override { [NSThread sleepForTimeInterval:seconds]; }
};

}  // namespace

std::unique_ptr<platform::MainLoop> createMainLoop() {
  return std::make_unique<MacMainLoop>();
}

}  // namespace cuh::macos
