// Chooses the backend: the simulated desktop when a scene is given; else the
// macOS services on a Mac, the X display named by DISPLAY on Linux when it is
// set; else the simulated desktop with the built-in demo scene.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/sim/sim_desktop.h"

#if defined(CUH_HAVE_MACOS_BACKEND)
#include "platform/macos/macos_platform.h"
#endif
#if defined(CUH_HAVE_LINUX_BACKEND)
#include "platform/linux/linux_platform.h"
#endif

namespace cuh::platform {

std::unique_ptr<Platform> createPlatform(const PlatformOptions& options, std::string* error) {
#if defined(CUH_HAVE_MACOS_BACKEND)
  if (!options.scenePath)
    return macos::createMacPlatform(error);
#endif
#if defined(CUH_HAVE_LINUX_BACKEND)
  const char* display = std::getenv("DISPLAY");
  if (!options.scenePath && display && *display)
    return linux_desktop::createLinuxPlatform(options, error);
#endif
  return sim::createSimulatedPlatform(options, error);
}

}  // namespace cuh::platform
