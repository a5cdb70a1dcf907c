// The window server of the simulated desktop: rows generated from the
// scene's windows (with their raw overrides), front to back.
#pragma once

#include "platform/sim/sim_context.h"
#include "platform/window_server.h"

namespace cuh::sim {

class SimWindowServer final : public platform::WindowServer {
 public:
  explicit SimWindowServer(SimContext& context) : context_(context) {}

  std::optional<platform::Value> copyWindowInfo(uint32_t option,
                                                uint32_t relativeToWindow) override;

  // The row of one window, as every listing gives it.
  platform::Value row(const Window& window) const;
  // Whether the window's row says it is on screen.
  bool isOnScreen(const Window& window) const;

 private:
  SimContext& context_;
};

}  // namespace cuh::sim
