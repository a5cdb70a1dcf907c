#include "platform/sim/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace cuh::sim {

namespace {
constexpr double kForever = std::numeric_limits<double>::infinity();
}

class EventLoop::TimerHandle final : public platform::RepeatingTimerObject {
 public:
  TimerHandle(EventLoop& loop, uint64_t id, std::weak_ptr<bool> alive)
      : loop_(loop), id_(id), alive_(std::move(alive)) {}
  ~TimerHandle() override {
    if (!alive_.expired())
      loop_.cancelTimer(id_);
  }

 private:
  EventLoop& loop_;
  uint64_t id_;
  std::weak_ptr<bool> alive_;
};

class EventLoop::WatchHandle final : public DescriptorWatchObject {
 public:
  WatchHandle(EventLoop& loop, uint64_t id, std::weak_ptr<bool> alive)
      : loop_(loop), id_(id), alive_(std::move(alive)) {}
  ~WatchHandle() override {
    if (!alive_.expired())
      loop_.unwatch(id_);
  }

 private:
  EventLoop& loop_;
  uint64_t id_;
  std::weak_ptr<bool> alive_;
};

EventLoop::EventLoop(Clock& clock) : clock_(clock) {}

EventLoop::~EventLoop() {
  if (int fd = wakeFd_.load(); fd >= 0)
    ::close(fd);
}

void EventLoop::wakeUp() {
  wake_.notify_one();
  if (int fd = wakeFd_.load(); fd >= 0) {
    uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can fail here.
    [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
  }
}

EventLoop::DescriptorWatch EventLoop::watchDescriptor(int fd, std::function<void()> ready) {
  std::lock_guard lock(mutex_);
  if (wakeFd_.load() < 0)
    wakeFd_.store(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  uint64_t id = nextWatchId_++;
  watches_[id] = Watch{fd, std::move(ready), false};
  return std::make_shared<WatchHandle>(*this, id, alive_);
}

void EventLoop::unwatch(uint64_t id) {
  std::lock_guard lock(mutex_);
  watches_.erase(id);  // a queued ready item finds it gone and does nothing
}

void EventLoop::pollLocked(std::unique_lock<std::mutex>& lock, double seconds) {
  std::vector<pollfd> fds;
  std::vector<uint64_t> ids;
  int wakeFd = wakeFd_.load();
  fds.push_back(pollfd{wakeFd, POLLIN, 0});
  for (const auto& [id, watch] : watches_) {
    if (watch.queued)
      continue;  // already reported; polled again once it has run
    fds.push_back(pollfd{watch.fd, POLLIN, 0});
    ids.push_back(id);
  }
  int timeout = -1;
  if (seconds >= 0)
    timeout = static_cast<int>(std::min(std::ceil(seconds * 1000.0), 86400000.0));
  lock.unlock();
  int count = ::poll(fds.data(), fds.size(), timeout);
  if (count > 0 && (fds[0].revents & POLLIN)) {
    uint64_t drained;
    [[maybe_unused]] ssize_t read = ::read(wakeFd, &drained, sizeof drained);
  }
  lock.lock();
  if (count <= 0)
    return;
  for (size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents == 0)
      continue;
    uint64_t id = ids[i - 1];
    auto found = watches_.find(id);
    if (found == watches_.end() || found->second.queued)
      continue;
    found->second.queued = true;
    ready_.push_back([this, id] {
      std::function<void()> ready;
      {
        std::lock_guard inner(mutex_);
        auto watch = watches_.find(id);
        if (watch == watches_.end())
          return;
        watch->second.queued = false;
        ready = watch->second.ready;
      }
      ready();
    });
  }
}

void EventLoop::post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    if (mustHoldLocked()) {
      held_.push_back(Held{std::move(work), false});
    } else {
      ready_.push_back(std::move(work));
    }
  }
  wakeUp();
}

bool EventLoop::onLoopThread() const {
  return std::this_thread::get_id() == ownThread_;
}

bool EventLoop::mustHoldLocked() const {
  return pendingFences_ > 0 && !onLoopThread();
}

void EventLoop::postFence(std::function<void()> work) {
  if (onLoopThread()) {
    post(std::move(work));
    return;
  }
  std::function<void()> fence = [this, work = std::move(work)] {
    // Released even when the work throws, so nothing stays held for good.
    struct Release {
      EventLoop& loop;
      ~Release() { loop.releaseFence(); }
    } release{*this};
    work();
  };
  {
    std::lock_guard lock(mutex_);
    if (mustHoldLocked()) {
      held_.push_back(Held{std::move(fence), true});
    } else {
      ready_.push_back(std::move(fence));
    }
    ++pendingFences_;
  }
  wakeUp();
}

void EventLoop::releaseFence() {
  {
    std::lock_guard lock(mutex_);
    --pendingFences_;
    while (!held_.empty()) {
      Held next = std::move(held_.front());
      held_.pop_front();
      ready_.push_back(std::move(next.work));
      if (next.fence)
        break;  // the rest waits behind this one
    }
  }
  wakeUp();
}

void EventLoop::postDelayed(double seconds, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    double due = clock_.uptime() + (seconds > 0 ? seconds : 0);
    delayed_.push(Delayed{due, nextSequence_++, std::move(work), 0});
  }
  wakeUp();
}

platform::RepeatingTimer EventLoop::scheduleRepeatingTimer(double interval,
                                                           std::function<void()> block) {
  uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextTimerId_++;
    timers_[id] = Timer{interval, std::move(block)};
    delayed_.push(Delayed{clock_.uptime() + interval, nextSequence_++, {}, id});
  }
  wakeUp();
  return std::make_shared<TimerHandle>(*this, id, alive_);
}

void EventLoop::cancelTimer(uint64_t id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);  // its pending firing is skipped when it comes due
}

void EventLoop::promoteDueLocked(double now) {
  while (!delayed_.empty() && delayed_.top().due <= now) {
    Delayed item = delayed_.top();
    delayed_.pop();
    if (item.timerId == 0) {
      ready_.push_back(std::move(item.work));
      continue;
    }
    auto timer = timers_.find(item.timerId);
    if (timer == timers_.end())
      continue;
    uint64_t id = item.timerId;
    ready_.push_back([this, id] {
      std::function<void()> block;
      {
        std::lock_guard lock(mutex_);
        auto found = timers_.find(id);
        if (found == timers_.end())
          return;
        block = found->second.block;
      }
      block();
    });
    // Like a run-loop timer, a late timer skips the firings it missed.
    double next = item.due + timer->second.interval;
    if (next <= now)
      next = now + timer->second.interval;
    delayed_.push(Delayed{next, nextSequence_++, {}, id});
  }
}

bool EventLoop::runOneReady() {
  std::function<void()> work;
  {
    std::lock_guard lock(mutex_);
    promoteDueLocked(clock_.uptime());
    if (ready_.empty())
      return false;
    work = std::move(ready_.front());
    ready_.pop_front();
  }
  // The one catch of a work item, as on a Mac, where nothing may leave a
  // run-loop block: a failed step ends there and the loop goes on. The
  // step's own state goes with it; a request it held is answered by its
  // reply handle, which answers when its last copy goes unanswered.
  try {
    work();
  } catch (const Unwind&) {
    throw;
  } catch (...) {
  }
  return true;
}

void EventLoop::waitLocked(std::unique_lock<std::mutex>& lock, double deadline) {
  double next = delayed_.empty() ? kForever : delayed_.top().due;
  double until = next < deadline ? next : deadline;
  if (clock_.isVirtual()) {
    if (until != kForever)
      clock_.advanceTo(until);
    return;
  }
  if (!watches_.empty()) {
    pollLocked(lock, until == kForever ? -1.0 : std::max(until - clock_.uptime(), 0.0));
    return;
  }
  if (until == kForever) {
    wake_.wait(lock);
    return;
  }
  double seconds = until - clock_.uptime();
  if (seconds > 0)
    wake_.wait_for(lock, std::chrono::duration<double>(seconds));
}

void EventLoop::run() {
  {
    std::lock_guard lock(mutex_);
    quit_ = false;
  }
  for (;;) {
    if (runOneReady()) {
      std::lock_guard lock(mutex_);
      if (quit_)
        return;
      continue;
    }
    std::unique_lock lock(mutex_);
    if (quit_)
      return;
    if (!ready_.empty())
      continue;
    if (clock_.isVirtual() && delayed_.empty())
      return;  // nothing can ever happen
    waitLocked(lock, kForever);
  }
}

void EventLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  wakeUp();
}

void EventLoop::runFor(double seconds) {
  double deadline = clock_.uptime() + (seconds > 0 ? seconds : 0);
  for (;;) {
    if (runOneReady())
      continue;
    std::unique_lock lock(mutex_);
    if (!ready_.empty())
      continue;
    if (clock_.uptime() >= deadline)
      return;
    waitLocked(lock, deadline);
  }
}

void EventLoop::sleep(double seconds) {
  if (!(seconds > 0))
    return;
  if (clock_.isVirtual()) {
    clock_.advanceTo(clock_.uptime() + seconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool EventLoop::hasOneShotWorkLocked() const {
  if (!ready_.empty() || !held_.empty())
    return true;
  // The heap cannot be walked; copy it (tests only, small).
  auto copy = delayed_;
  while (!copy.empty()) {
    if (copy.top().timerId == 0)
      return true;
    copy.pop();
  }
  return false;
}

bool EventLoop::runUntilIdle(double maxSeconds) {
  double deadline = clock_.uptime() + maxSeconds;
  for (;;) {
    if (runOneReady())
      continue;
    std::unique_lock lock(mutex_);
    if (!hasOneShotWorkLocked())
      return true;
    if (!ready_.empty())
      continue;
    if (clock_.uptime() >= deadline)
      return false;
    waitLocked(lock, deadline);
  }
}

size_t EventLoop::queuedWork() {
  std::lock_guard lock(mutex_);
  return ready_.size() + held_.size() + delayed_.size() + timers_.size();
}

}  // namespace cuh::sim
