// What every service of the simulated desktop shares: the state, the clock
// and loop, the trace, and the hooks through which script rules watch the
// helper's actions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/sim/clock.h"
#include "platform/sim/event_loop.h"
#include "platform/sim/sim_model.h"
#include "platform/sim/sim_trace.h"

namespace cuh::sim {

struct SimContext {
  World world;
  Clock& clock;
  EventLoop& loop;
  Trace& trace;
  // The helper's own pid (the source pid of the events it posts).
  std::function<int32_t()> helperPid;
  // Script hooks; empty when no rule watches.
  std::function<void(const std::string& target, std::string_view attribute)> afterSet;
  std::function<void(const std::string& target, std::string_view action)> afterAction;
  std::function<void(int32_t pid)> afterPost;

  // Blocks the main thread for the modelled round trip of one accessibility
  // call (on a virtual clock this advances time).
  void accessibilityRoundTrip() {
    if (world.axLatencySeconds > 0)
      loop.sleep(world.axLatencySeconds);
  }
};

}  // namespace cuh::sim
