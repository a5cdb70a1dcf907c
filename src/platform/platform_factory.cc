// Chooses the backend: the simulated desktop when a scene is given or no real
// backend is built in, the macOS services otherwise.
#include "platform/platform.h"
#include "platform/sim/sim_desktop.h"

#if defined(CUH_HAVE_MACOS_BACKEND)
#include "platform/macos/macos_platform.h"
#endif

namespace cuh::platform {

std::unique_ptr<Platform> createPlatform(const PlatformOptions& options, std::string* error) {
#if defined(CUH_HAVE_MACOS_BACKEND)
  if (!options.scenePath) return macos::createMacPlatform(error);
#endif
  return sim::createSimulatedPlatform(options, error);
}

}  // namespace cuh::platform
