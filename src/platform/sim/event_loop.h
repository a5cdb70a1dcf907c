// A portable main loop: one thread runs posted work, delayed work, repeating
// timers and nested timed runs. With a real clock an idle loop sleeps on a
// condition variable until the next due item, or, while descriptors are
// watched (a desktop's connections), in poll on them and a wake descriptor;
// with a virtual clock waiting jumps time forward, so unit tests never
// sleep. The thread that creates the loop is the one that runs it (its own
// thread); others may post to it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
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

  // Thrown by a work item to leave the loop altogether (the application's
  // terminate, which never returns); everything else a work item throws ends
  // that item only.
  struct Unwind {};

  // Runs until quit() is called. Whatever a work item throws, except Unwind,
  // ends that item only; the loop goes on.
  void run();
  // Makes the outermost run() return after the current item. Thread-safe.
  void quit();

  // From another thread: posts `work`, and until it has run, whatever other
  // threads post after it waits behind it. Posts from the loop's own thread
  // are never held, so what `work` posts is queued ahead of what was held.
  // From the loop's own thread it is post(): there the caller can simply do
  // the work at once.
  void postFence(std::function<void()> work);
  // Whether the calling thread is the loop's own.
  bool onLoopThread() const;

  // Watches descriptor `fd` (real clock only): whenever poll reports it
  // readable (or hung up, or in error) while the loop waits, `ready` runs on
  // the loop's thread as a work item, once per wake-up however often the
  // descriptor was reported meanwhile. Call from the loop's thread. The
  // watch ends when the last owner of the handle goes.
  class DescriptorWatchObject {
   public:
    virtual ~DescriptorWatchObject() = default;
  };
  using DescriptorWatch = std::shared_ptr<DescriptorWatchObject>;
  DescriptorWatch watchDescriptor(int fd, std::function<void()> ready);

  // Tests: runs posted and delayed work (advancing a virtual clock) until
  // none is left, ignoring repeating timers, or until `maxSeconds` of loop
  // time have passed. Returns true when the loop went idle.
  bool runUntilIdle(double maxSeconds = 3600);
  // Tests: how much is still queued: items ready or held, delayed work and
  // repeating timers.
  size_t queuedWork();

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
  // Work another thread posted while a fence was pending.
  struct Held {
    std::function<void()> work;
    bool fence;
  };
  class TimerHandle;
  class WatchHandle;
  struct Watch {
    int fd;
    std::function<void()> ready;
    bool queued;  // its ready item is waiting to run
  };

  // Moves due delayed work to the ready queue. Caller holds mutex_.
  void promoteDueLocked(double now);
  // Runs one ready item if there is one. Returns false when none was ready.
  bool runOneReady();
  // Waits until something may be ready or `deadline` passes. Caller holds
  // `lock`. A virtual clock advances instead of blocking.
  void waitLocked(std::unique_lock<std::mutex>& lock, double deadline);
  bool hasOneShotWorkLocked() const;
  void cancelTimer(uint64_t id);
  // Whether a post from the calling thread must wait behind a fence. Caller
  // holds mutex_.
  bool mustHoldLocked() const;
  // A fence has run: queues what waited behind it, up to and including the
  // next fence.
  void releaseFence();
  // Wakes a waiting loop: the condition variable, and the wake descriptor
  // while descriptors are watched.
  void wakeUp();
  // The idle wait while descriptors are watched: poll until one is ready,
  // the loop is woken, or `seconds` (negative: no limit) pass. Caller holds
  // `lock`; it is released while polling.
  void pollLocked(std::unique_lock<std::mutex>& lock, double seconds);
  void unwatch(uint64_t id);

  Clock& clock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> ready_;
  std::priority_queue<Delayed, std::vector<Delayed>, Later> delayed_;
  std::map<uint64_t, Timer> timers_;
  std::deque<Held> held_;
  size_t pendingFences_ = 0;  // posted and not yet run
  const std::thread::id ownThread_ = std::this_thread::get_id();
  uint64_t nextSequence_ = 1;
  uint64_t nextTimerId_ = 1;
  bool quit_ = false;
  std::map<uint64_t, Watch> watches_;
  uint64_t nextWatchId_ = 1;
  // An eventfd, made on the first watch; -1 before.
  std::atomic<int> wakeFd_{-1};
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cuh::sim
