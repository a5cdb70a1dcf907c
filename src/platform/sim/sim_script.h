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

  // Triggers. `writingResponse` comes as the response line numbered
  // `number` (from 1) is written, before its bytes go out.
  void writingResponse(uint64_t number);
  void posted(int32_t pid);
  void setDone(const std::string& target, std::string_view attribute);
  void actionDone(const std::string& target, std::string_view action);

  // Whether a rule waits for exactly response line `number`. Reads only what
  // never changes after loading, so any thread may ask.
  bool hasRuleAfterResponse(uint64_t number) const;

  // Which rules have fired and the posts counted per pid, as JSON.
  nlohmann::json progress() const;

 private:
  void fireWhere(const std::function<bool(const nlohmann::json& when)>& holds);
  std::shared_ptr<Node> node(const nlohmann::json& ref) const;
  // "set" on an application element: its focused window or element.
  void setOnApp(const std::string& ref, const std::string& attribute, const nlohmann::json& value);
  Window& window(const nlohmann::json& id) const;

  SimContext& context_;
  SimAccessibility& accessibility_;
  SimWorkspace& workspace_;
  SimEvents& events_;
  std::function<void(double)> advanceClock_;
  std::vector<ScriptRule> rules_;
  std::vector<uint64_t> responseNumbers_;  // of the afterResponses rules, sorted
  std::map<int32_t, int64_t> posts_;
};

}  // namespace cuh::sim
