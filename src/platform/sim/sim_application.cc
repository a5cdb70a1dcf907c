#include "platform/sim/sim_application.h"

namespace cuh::sim {

int SimApplication::run() {
  try {
    if (delegate_)
      delegate_->applicationDidFinishLaunching();
    loop_.run();
  } catch (const Terminated&) {
    return 0;
  }
  return 0;
}

void SimApplication::terminate() {
  terminated_ = true;
  if (delegate_)
    delegate_->applicationWillTerminate();
  throw Terminated{};
}

}  // namespace cuh::sim
