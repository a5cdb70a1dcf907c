// Reading and validating scenes: every problem is a SceneError whose text
// starts with the JSON path of the bad entry ("$.windows[2].bounds: ...").
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/scene_error.h"
#include "platform/sim/sim_model.h"

namespace cuh::sim {

struct ScriptRule {
  nlohmann::json when;
  std::vector<nlohmann::json> actions;
  bool fired = false;
};

struct LoadedScene {
  World world;
  std::vector<ScriptRule> script;
};

// Builds the desktop state of a scene. Throws SceneError.
LoadedScene loadScene(const nlohmann::json& scene);

// Builds one window of a scene. `ownerPid`: the pid a launchable's windows
// belong to (their "pid" key may then be left out). Throws SceneError.
std::shared_ptr<Window> buildWindow(const nlohmann::json& json,
                                    const std::string& path,
                                    std::optional<int32_t> ownerPid);

// Builds an element tree (not attached to any window). Throws SceneError.
std::shared_ptr<Node> buildElement(const nlohmann::json& json, const std::string& path);

// Checks the shape of one script action. Throws SceneError.
void validateAction(const nlohmann::json& action, const std::string& path);

// Gives a newly running app its focused window and focused element: the
// scene's choice, or the defaults (first window with an element; first
// element marked focused, focused window first).
void applyFocusDefaults(App& app, const World& world);

}  // namespace cuh::sim
