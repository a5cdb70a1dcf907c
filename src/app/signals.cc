#include "app/signals.h"

#include <pthread.h>
#include <signal.h>

namespace cuh {

namespace {

sigset_t terminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void prepareProcessSignals() {
  signal(SIGPIPE, SIG_IGN);
  sigset_t set = terminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {}

SignalWatcher::~SignalWatcher() {
  stop();
}

void SignalWatcher::start() {
  if (!thread_.joinable())
    thread_ = std::thread([this] { run(); });
}

void SignalWatcher::stop() {
  if (!thread_.joinable())
    return;
  stopping_ = true;
  // Wakes the thread's sigwait; it sees stopping_ and returns.
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

void SignalWatcher::run() {
  sigset_t set = terminationSignals();
  bool reported = false;
  while (!stopping_) {
    int received = 0;
    if (sigwait(&set, &received) != 0)
      continue;
    if (stopping_)
      return;
    if (!reported) {
      reported = true;
      onSignal_();
    }
  }
}

}  // namespace cuh
