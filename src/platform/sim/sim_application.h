// The application object of the portable platform: runs the event loop on
// the calling thread and unwinds out of it on terminate.
#pragma once

#include "platform/application.h"
#include "platform/sim/event_loop.h"

namespace cuh::sim {

class SimApplication final : public platform::Application {
 public:
  explicit SimApplication(EventLoop& loop) : loop_(loop) {}

  void setActivationPolicy(platform::ActivationPolicy policy) override { policy_ = policy; }
  void setDelegate(platform::ApplicationDelegate* delegate) override { delegate_ = delegate; }
  // Calls applicationDidFinishLaunching, then runs the loop until terminate.
  // Returns 0 after a terminate, whatever depth it was called from.
  int run() override;
  // Runs applicationWillTerminate, then unwinds the stack back into run()
  // (by throwing Terminated), so nothing else of the caller runs.
  [[noreturn]] void terminate() override;

  platform::ActivationPolicy activationPolicy() const { return policy_; }
  bool terminated() const { return terminated_; }

  // What terminate throws. It is not a std::exception, so that no handler
  // for ordinary errors can swallow it.
  struct Terminated : EventLoop::Unwind {};

 private:
  EventLoop& loop_;
  platform::ApplicationDelegate* delegate_ = nullptr;
  platform::ActivationPolicy policy_ = platform::ActivationPolicy::regular;
  bool terminated_ = false;
};

}  // namespace cuh::sim
