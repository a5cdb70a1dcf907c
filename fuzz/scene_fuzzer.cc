// Arbitrary bytes as a scene: a scene that parses either builds a desktop or
// is refused with SceneError, never anything worse.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/sim/scene_error.h"
#include "platform/sim/sim_desktop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nlohmann::json scene = nlohmann::json::parse(
      std::string_view(reinterpret_cast<const char*>(data), size), nullptr, false);
  if (scene.is_discarded())
    return 0;
  try {
    auto desktop = cuh::sim::SimDesktop::create(scene);
    desktop->loop().runUntilIdle(60);
  } catch (const cuh::sim::SceneError&) {
  }
  return 0;
}
