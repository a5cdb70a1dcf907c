// The main thread's loop on the main run loop. Posted work is a queue of our
// own, served by blocks performed on the run loop in its common modes, with a
// wake-up; delayed work waits in a second queue behind one run-loop timer;
// the repeating timer is a run-loop timer. A nested run of the run loop (the
// settle and readback waits of a request) serves all of them, which the main
// dispatch queue would not: it runs no block while one of its blocks (the
// request) is still running.
#include "platform/macos/apple_sdk.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "platform/macos/scoped_cf.h"
#include "platform/macos/services.h"
#include "platform/main_loop.h"

namespace cuh::macos {
namespace {

using Clock = std::chrono::steady_clock;

// A delay or interval in seconds, made safe: NaN and negative mean none, and
// anything beyond a century is capped there.
double boundedSeconds(double seconds) {
  if (!(seconds > 0))
    return 0;
  return std::min(seconds, 3.2e9);
}

Clock::duration asDuration(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(boundedSeconds(seconds)));
}

// When nothing is delayed, the delay timer waits this far ahead, and repeats
// at this interval so that firing never invalidates it.
constexpr double kFarAhead = 3.2e9;

// Runs one work item under a run-loop block or timer, which no C++ exception
// may leave. A failed item ends there; what it held (a request's reply
// handle among it) is released with it, and the helper goes on.
void runItem(const std::function<void()>& work) {
  try {
    work();
  } catch (...) {
  }
}

struct Delayed {
  Clock::time_point due;
  uint64_t sequence;
  std::function<void()> work;
};
struct Later {
  bool operator()(const Delayed& a, const Delayed& b) const {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
  }
};

// What the run loop's blocks and timers share with the loop object. They may
// outlive it (a block still queued when it goes); `open` tells them.
struct LoopState {
  std::mutex mutex;
  std::deque<std::function<void()>> ready;
  std::priority_queue<Delayed, std::vector<Delayed>, Later> delayed;
  uint64_t nextSequence = 0;
  bool open = true;
  // The delay timer, owned by the loop object; used on the main thread only,
  // while open.
  CFRunLoopTimerRef delayTimer = nullptr;
};

// Runs the oldest posted item, if any. One block per item, plus the blocks a
// nested run adds for items queued before it: each runs the oldest item
// left, so the order is the queue's, whichever block runs.
void runOldest(const std::shared_ptr<LoopState>& state) {
  // Declared outside the catch: what the item holds goes after it ended.
  std::function<void()> work;
  {
    std::lock_guard lock(state->mutex);
    if (!state->open || state->ready.empty())
      return;
    work = std::move(state->ready.front());
    state->ready.pop_front();
  }
  runItem(work);
}

// CFRunLoopPerformBlock in the common modes only enqueues; the wake-up makes
// a waiting run loop serve the blocks on its next pass, nested runs
// included. Any thread.
void performOnMainRunLoop(const std::shared_ptr<LoopState>& state, size_t count) {
  CFRunLoopRef main = CFRunLoopGetMain();
  for (size_t i = 0; i < count; ++i) {
    std::shared_ptr<LoopState> shared = state;
    CFRunLoopPerformBlock(main, kCFRunLoopCommonModes, ^{
      runOldest(shared);
    });
  }
  CFRunLoopWakeUp(main);
}

// Main thread: the delay timer fires when the earliest delayed item is due.
void armDelayTimer(const std::shared_ptr<LoopState>& state) {
  double wait = kFarAhead;
  CFRunLoopTimerRef timer = nullptr;
  {
    std::lock_guard lock(state->mutex);
    if (!state->open)
      return;
    timer = state->delayTimer;
    if (!state->delayed.empty())
      wait = std::chrono::duration<double>(state->delayed.top().due - Clock::now()).count();
  }
  CFRunLoopTimerSetNextFireDate(timer, CFAbsoluteTimeGetCurrent() + std::max(wait, 0.0));
}

// The delay timer fired: due items join the posted queue in due order (post
// order among equal deadlines), and the timer is set for the next one.
// Setting the fire date inside the timer's own callback is how a repeating
// run-loop timer is rescheduled by hand.
void promoteDue(const std::shared_ptr<LoopState>& state) {
  size_t promoted = 0;
  {
    std::lock_guard lock(state->mutex);
    if (!state->open)
      return;
    const Clock::time_point now = Clock::now();
    while (!state->delayed.empty() && state->delayed.top().due <= now) {
      // top() is const; the work is moved out just before the entry is popped
      // (the heap orders by due time and sequence only).
      auto& top = const_cast<Delayed&>(state->delayed.top());
      state->ready.push_back(std::move(top.work));
      state->delayed.pop();
      ++promoted;
    }
  }
  if (promoted > 0)
    performOnMainRunLoop(state, promoted);
  armDelayTimer(state);
}

class MacRepeatingTimer final : public platform::RepeatingTimerObject {
 public:
  explicit MacRepeatingTimer(ScopedCFTypeRef<CFRunLoopTimerRef> timer) : timer_(std::move(timer)) {}
  ~MacRepeatingTimer() override { CFRunLoopTimerInvalidate(timer_.get()); }

 private:
  ScopedCFTypeRef<CFRunLoopTimerRef> timer_;
};

class MacMainLoop final : public platform::MainLoop {
 public:
  MacMainLoop() : state_(std::make_shared<LoopState>()) {
    std::shared_ptr<LoopState> state = state_;
    // Promoting moves work items, which may throw (memory); nothing may
    // leave the timer's callback.
    void (^fire)(CFRunLoopTimerRef) = ^(CFRunLoopTimerRef) {
      runItem([&] { promoteDue(state); });
    };
    delayTimer_ = ScopedCFTypeRef<CFRunLoopTimerRef>(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + kFarAhead, kFarAhead, 0, 0, fire));
    state_->delayTimer = delayTimer_.get();
    CFRunLoopAddTimer(CFRunLoopGetMain(), delayTimer_.get(), kCFRunLoopCommonModes);
  }

  ~MacMainLoop() override {
    CFRunLoopTimerInvalidate(delayTimer_.get());
    // Blocks still queued find the loop closed; the items go here, on the
    // main thread, outside the lock.
    std::deque<std::function<void()>> ready;
    std::priority_queue<Delayed, std::vector<Delayed>, Later> delayed;
    {
      std::lock_guard lock(state_->mutex);
      state_->open = false;
      state_->delayTimer = nullptr;
      ready.swap(state_->ready);
      delayed.swap(state_->delayed);
    }
  }

  void post(std::function<void()> work) override {
    {
      std::lock_guard lock(state_->mutex);
      state_->ready.push_back(std::move(work));
    }
    performOnMainRunLoop(state_, 1);
  }

  void postDelayed(double seconds, std::function<void()> work) override {
    const Clock::time_point due = Clock::now() + asDuration(seconds);
    {
      std::lock_guard lock(state_->mutex);
      state_->delayed.push(Delayed{due, state_->nextSequence++, std::move(work)});
    }
    // The timer is set on the main thread only.
    if ([NSThread isMainThread]) {
      armDelayTimer(state_);
      return;
    }
    std::shared_ptr<LoopState> state = state_;
    CFRunLoopPerformBlock(CFRunLoopGetMain(), kCFRunLoopCommonModes, ^{
      armDelayTimer(state);
    });
    CFRunLoopWakeUp(CFRunLoopGetMain());
  }

  platform::RepeatingTimer scheduleRepeatingTimer(double interval,
                                                  std::function<void()> block) override {
    // A run-loop timer with an interval of 0 fires once; the contract is a
    // repeating one.
    const double every = std::max(boundedSeconds(interval), 0.001);
    std::shared_ptr<LoopState> state = state_;
    void (^fire)(CFRunLoopTimerRef) = ^(CFRunLoopTimerRef) {
      {
        std::lock_guard lock(state->mutex);
        if (!state->open)
          return;
      }
      runItem(block);
    };
    ScopedCFTypeRef<CFRunLoopTimerRef> timer(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + every, every, 0, 0, fire));
    // In the common modes: the timer keeps firing while a nested run or
    // another mode runs.
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopCommonModes);
    return std::make_shared<MacRepeatingTimer>(std::move(timer));
  }

  void runFor(double seconds) override {
    const Clock::time_point deadline = Clock::now() + asDuration(seconds);
    // Items queued before this run may have their blocks in the batch the
    // run loop is performing right now (the one running the caller), which a
    // nested run does not see: give each of them a block of its own.
    size_t queued = 0;
    {
      std::lock_guard lock(state_->mutex);
      queued = state_->ready.size();
    }
    if (queued > 0)
      performOnMainRunLoop(state_, queued);
    for (;;) {
      const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
      // One pass at least, so that runFor(0) serves what is ready.
      CFRunLoopRunResult result =
          CFRunLoopRunInMode(kCFRunLoopDefaultMode, std::max(left, 0.0), false);
      if (left <= 0)
        return;
      if (result == kCFRunLoopRunFinished) {
        // The mode has no source or timer: nothing could be delivered, and
        // the caller still waits its time.
        std::this_thread::sleep_until(deadline);
        return;
      }
    }
  }

  void sleep(double seconds) override { std::this_thread::sleep_for(asDuration(seconds)); }

 private:
  std::shared_ptr<LoopState> state_;
  ScopedCFTypeRef<CFRunLoopTimerRef> delayTimer_;
};

}  // namespace

std::unique_ptr<platform::MainLoop> createMainLoop() {
  return std::make_unique<MacMainLoop>();
}

}  // namespace cuh::macos
