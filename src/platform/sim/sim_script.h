// Script rules: changes to the desktop that play the user and the target
// apps while the helper works. Each rule fires at most once, the first time
// its trigger holds; its actions apply in order, synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/scene_loader.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_context.h"
#include "platform/sim/sim_events.h"
#include "platform/sim/sim_workspace.h"

namespace cuh::sim {

class Script {
 public:
  Script(SimContext& context,
         SimAccessibility& accessibility,
         SimWorkspace& workspace,
         SimEvents& events,
         std::function<void(double)> advanceClock,
         std::vector<ScriptRule> rules);

  // Applies one action now. Throws SceneError when the action is malformed
  // or names a window, element or app that is not there.
  void apply(const nlohmann::json& action);

  // Triggers.
  void responsesWritten(uint64_t count);
  void posted(int32_t pid);
  void setDone(const std::string& target, std::string_view attribute);
  void actionDone(const std::string& target, std::string_view action);

 private:
  void fireWhere(const std::function<bool(const nlohmann::json& when)>& holds);
  std::shared_ptr<Node> node(const nlohmann::json& ref) const;
  Window& window(const nlohmann::json& id) const;

  SimContext& context_;
  SimAccessibility& accessibility_;
  SimWorkspace& workspace_;
  SimEvents& events_;
  std::function<void(double)> advanceClock_;
  std::vector<ScriptRule> rules_;
  std::map<int32_t, int64_t> posts_;
};

}  // namespace cuh::sim
