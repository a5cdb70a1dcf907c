// Signals: SIGPIPE is ignored (a parent that stopped reading must not kill
// the helper mid-write); SIGTERM, SIGINT and SIGHUP end the helper the way
// the end of input does, through the main loop, so borrowed focus state is
// given back first.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace cuh {

// Ignores SIGPIPE and blocks SIGTERM, SIGINT and SIGHUP in the calling
// thread. Call first thing in main, before any thread starts, so that every
// thread inherits the mask and only the watcher receives them.
void prepareProcessSignals();

// A thread that waits for SIGTERM, SIGINT or SIGHUP and calls `onSignal`
// (from that thread) for the first one.
class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void()> onSignal);
  ~SignalWatcher();  // stops and joins
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  void start();
  void stop();

 private:
  void run();

  std::function<void()> onSignal_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace cuh
