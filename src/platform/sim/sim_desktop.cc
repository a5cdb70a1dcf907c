// Placeholder until the simulated desktop lands.
#include "platform/sim/sim_desktop.h"

namespace cuh::sim {

std::unique_ptr<platform::Platform> createSimulatedPlatform(const platform::PlatformOptions&,
                                                            std::string* error) {
  if (error) *error = "computer-use-helper: the simulated desktop is not built yet";
  return nullptr;
}

}  // namespace cuh::sim
