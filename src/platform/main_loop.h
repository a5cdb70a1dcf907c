// The main thread's loop: the one thread on which requests, delayed steps,
// the repeating timer and event-tap callbacks run, one at a time.
#pragma once

#include <functional>
#include <memory>

namespace cuh::platform {

class RepeatingTimerObject {
 public:
  virtual ~RepeatingTimerObject() = default;
};
// Invalidates the timer when the last owner goes.
using RepeatingTimer = std::shared_ptr<RepeatingTimerObject>;

class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // Queues `work` for the main thread (on a Mac, a block performed on the main
  // run loop in its common modes). Callable from any thread; work items run
  // on the main thread in post order, in nested runs too. Whatever a work
  // item (here, delayed or a timer's) throws ends that item and the loop goes
  // on; what it held is released, so a request's reply handle it held
  // answers.
  virtual void post(std::function<void()> work) = 0;
  // Runs `work` on the main thread no earlier than `seconds` from now (on a
  // Mac, behind a run-loop timer). Callable from any thread. Items due at the
  // same time run in post order.
  virtual void postDelayed(double seconds, std::function<void()> work) = 0;
  // A repeating scheduled timer: `block` runs every `interval` seconds on the
  // main thread, between other work, until the handle goes.
  virtual RepeatingTimer scheduleRepeatingTimer(double interval, std::function<void()> block) = 0;
  // Runs the loop (nested, from the main thread) for `seconds`: posted work,
  // due delayed work, timers and event-tap deliveries run meanwhile. Returns
  // at the deadline.
  virtual void runFor(double seconds) = 0;
  // Blocks the main thread for `seconds`; nothing else runs meanwhile.
  virtual void sleep(double seconds) = 0;
};

}  // namespace cuh::platform
