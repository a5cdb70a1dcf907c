// A portable main loop: one thread runs posted work, delayed work, repeating
// timers and nested timed runs. With a real clock an idle loop sleeps on a
// condition variable until the next due item; with a virtual clock waiting
// jumps time forward, so unit tests never sleep.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "platform/main_loop.h"
#include "platform/sim/clock.h"

namespace cuh::sim {

class EventLoop final : public platform::MainLoop {
 public:
  explicit EventLoop(Clock& clock);
  ~EventLoop() override;

  // platform::MainLoop
  void post(std::function<void()> work) override;
  void postDelayed(double seconds, std::function<void()> work) override;
  platform::RepeatingTimer scheduleRepeatingTimer(double interval,
                                                  std::function<void()> block) override;
  void runFor(double seconds) override;
  void sleep(double seconds) override;

  // Runs until quit() is called. Exceptions thrown by work items propagate
  // out of run(); the loop stays usable.
  void run();
  // Makes the outermost run() return after the current item. Thread-safe.
  void quit();

  // Tests: runs posted and delayed work (advancing a virtual clock) until
  // none is left, ignoring repeating timers, or until `maxSeconds` of loop
  // time have passed. Returns true when the loop went idle.
  bool runUntilIdle(double maxSeconds = 3600);

  Clock& clock() { return clock_; }

 private:
  struct Delayed {
    double due;
    uint64_t sequence;
    std::function<void()> work;  // empty for a timer firing
    uint64_t timerId;            // 0 for plain delayed work
  };
  struct Later {
    bool operator()(const Delayed& a, const Delayed& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };
  struct Timer {
    double interval;
    std::function<void()> block;
  };
  class TimerHandle;

  // Moves due delayed work to the ready queue. Caller holds mutex_.
  void promoteDueLocked(double now);
  // Runs one ready item if there is one. Returns false when none was ready.
  bool runOneReady();
  // Waits until something may be ready or `deadline` passes. Caller holds
  // `lock`. A virtual clock advances instead of blocking.
  void waitLocked(std::unique_lock<std::mutex>& lock, double deadline);
  bool hasOneShotWorkLocked() const;
  void cancelTimer(uint64_t id);

  Clock& clock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> ready_;
  std::priority_queue<Delayed, std::vector<Delayed>, Later> delayed_;
  std::map<uint64_t, Timer> timers_;
  uint64_t nextSequence_ = 1;
  uint64_t nextTimerId_ = 1;
  bool quit_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cuh::sim
