#include "platform/sim/sim_script.h"

#include <algorithm>

#include "platform/ax_names.h"
#include "platform/sim/sim_values.h"

namespace cuh::sim {

using nlohmann::json;
using platform::Value;

Script::Script(SimContext& context,
               SimAccessibility& accessibility,
               SimWorkspace& workspace,
               SimEvents& events,
               std::function<void(double)> advanceClock,
               std::vector<ScriptRule> rules)
    : context_(context),
      accessibility_(accessibility),
      workspace_(workspace),
      events_(events),
      advanceClock_(std::move(advanceClock)),
      rules_(std::move(rules)) {
  for (const ScriptRule& rule : rules_) {
    if (auto found = rule.when.find("afterResponses"); found != rule.when.end())
      responseNumbers_.push_back(found->get<uint64_t>());
  }
  std::sort(responseNumbers_.begin(), responseNumbers_.end());
}

void Script::fireWhere(const std::function<bool(const json& when)>& holds) {
  // Index-based: a rule's actions may fire further rules (a tap callback
  // posting an event, say), which must not invalidate this walk.
  for (size_t i = 0; i < rules_.size(); ++i) {
    if (rules_[i].fired || !holds(rules_[i].when))
      continue;
    rules_[i].fired = true;
    context_.trace.write({{"kind", "rule"}, {"index", i}});
    for (const auto& action : rules_[i].actions) {
      try {
        apply(action);
      } catch (const SceneError&) {
        // The action's window or element is gone by now: nothing to change.
      }
    }
  }
}

void Script::writingResponse(uint64_t number) {
  fireWhere([number](const json& when) {
    auto found = when.find("afterResponses");
    return found != when.end() && found->get<uint64_t>() <= number;
  });
}

bool Script::hasRuleAfterResponse(uint64_t number) const {
  return std::binary_search(responseNumbers_.begin(), responseNumbers_.end(), number);
}

void Script::posted(int32_t pid) {
  int64_t count = ++posts_[pid];
  fireWhere([pid, count](const json& when) {
    auto found = when.find("afterPosts");
    return found != when.end() && (*found)["pid"].get<int32_t>() == pid &&
           (*found)["count"].get<int64_t>() <= count;
  });
}

void Script::setDone(const std::string& target, std::string_view attribute) {
  fireWhere([&](const json& when) {
    auto found = when.find("afterSet");
    return found != when.end() && (*found)["ref"].get<std::string>() == target &&
           (*found)["attribute"].get<std::string>() == attribute;
  });
}

void Script::actionDone(const std::string& target, std::string_view action) {
  fireWhere([&](const json& when) {
    auto found = when.find("afterAction");
    return found != when.end() && (*found)["ref"].get<std::string>() == target &&
           (*found)["action"].get<std::string>() == action;
  });
}

std::shared_ptr<Node> Script::node(const json& ref) const {
  auto found = context_.world.findNode(ref.get<std::string>());
  if (!found)
    throw SceneError("no element \"" + ref.get<std::string>() + "\" on the desktop");
  return found;
}

Window& Script::window(const json& id) const {
  Window* found = context_.world.window(id.get<uint32_t>());
  if (!found)
    throw SceneError("no window " + std::to_string(id.get<uint32_t>()) + " on the desktop");
  return *found;
}

void Script::setOnApp(const std::string& ref, const std::string& attribute, const json& value) {
  World& world = context_.world;
  App* app = nullptr;
  try {
    app = world.app(std::stoi(ref.substr(4)));
  } catch (const std::exception&) {
  }
  if (!app)
    throw SceneError("no running app \"" + ref + "\"");
  if (attribute == ax::kFocusedWindowAttribute) {
    if (value.is_null()) {
      app->focusedWindow.reset();
      return;
    }
    Window* target = nullptr;
    if (value.is_number_integer()) {
      target = &window(value);
    } else if (value.is_string()) {
      auto root = node(value);
      target = world.windowOf(*root);
      if (target && target->root != root)
        target = nullptr;
    }
    if (!target || target->pid != app->profile.pid) {
      throw SceneError(ref + ": " + std::string(ax::kFocusedWindowAttribute) +
                       " takes a window of the app (id or name) or null");
    }
    app->focusedWindow = target->id;
  } else if (attribute == ax::kFocusedUIElementAttribute) {
    if (value.is_null()) {
      app->focusedElement.reset();
      return;
    }
    if (!value.is_string())
      throw SceneError(ref + ": " + std::string(ax::kFocusedUIElementAttribute) +
                       " takes an element name or null");
    auto target = node(value);
    Window* owner = world.windowOf(*target);
    if (!owner || owner->pid != app->profile.pid) {
      throw SceneError(ref + ": " + std::string(ax::kFocusedUIElementAttribute) +
                       " takes an element of the app");
    }
    accessibility_.focus(*app, target);
  } else {
    throw SceneError(ref + ": only " + std::string(ax::kFocusedWindowAttribute) + " and " +
                     std::string(ax::kFocusedUIElementAttribute) + " can be set on an app");
  }
}

void Script::apply(const json& action) {
  validateAction(action, "action");
  World& world = context_.world;
  const std::string& key = action.begin().key();
  const json& body = action.begin().value();
  if (key == "frontmost") {
    world.setFrontmost(body.is_null() ? std::nullopt : std::optional(body.get<int32_t>()));
  } else if (key == "raise") {
    auto shared = world.windowShared(window(body).id);
    std::erase(world.windows, shared);
    world.windows.insert(world.windows.begin(), shared);
  } else if (key == "move") {
    World::moveWindow(window(body["id"]), {body["x"].get<double>(), body["y"].get<double>()});
  } else if (key == "resize") {
    World::resizeWindow(window(body["id"]),
                        {body["width"].get<double>(), body["height"].get<double>()});
  } else if (key == "setTitle") {
    Window& target = window(body["id"]);
    target.title =
        body["title"].is_null() ? std::nullopt : std::optional(body["title"].get<std::string>());
    if (target.root) {
      if (target.title) {
        target.root->setAttribute(ax::kTitleAttribute, Value::string(*target.title));
      } else {
        target.root->attributes.erase(std::string(ax::kTitleAttribute));
      }
    }
  } else if (key == "closeWindow") {
    Window& target = window(body);
    uint32_t id = target.id;
    int32_t pid = target.pid;
    std::erase_if(world.windows, [id](const std::shared_ptr<Window>& w) { return w->id == id; });
    // Like a real app, focus passes to the app's next window.
    if (App* app = world.app(pid); app && app->focusedWindow == id) {
      app->focusedWindow.reset();
      for (const auto& w : world.windows) {
        if (w->pid == pid && w->root) {
          app->focusedWindow = w->id;
          break;
        }
      }
    }
  } else if (key == "set" && body["ref"].get<std::string>().rfind("app:", 0) == 0) {
    setOnApp(body["ref"].get<std::string>(), body["attribute"].get<std::string>(), body["value"]);
  } else if (key == "set") {
    auto target = node(body["ref"]);
    std::string attribute = body["attribute"].get<std::string>();
    auto value = valueFromScene(body["value"], "action.set.value");
    Window* owner = world.windowOf(*target);
    App* app = owner ? world.app(owner->pid) : nullptr;
    const auto* flag = value ? value->as<platform::Boolean>() : nullptr;
    if (attribute == ax::kFocusedAttribute && flag && app) {
      if (flag->value) {
        accessibility_.focus(*app, target);
      } else {
        target->setAttribute(ax::kFocusedAttribute, *value);
        if (app->focusedElement.lock() == target)
          app->focusedElement.reset();
      }
    } else if (value) {
      target->attributes[attribute] = std::move(*value);
    } else {
      target->attributes.erase(attribute);
    }
  } else if (key == "remove") {
    auto target = node(body);
    if (Window* owner = world.windowOf(*target); owner && owner->root == target) {
      owner->root.reset();
    } else if (auto parent = target->parent.lock()) {
      std::erase(parent->children, target);
    }
  } else if (key == "insert") {
    auto parent = node(body["parent"]);
    auto element = buildElement(body["element"], "action.insert.element");
    element->parent = parent;
    size_t at = std::min(body["index"].get<size_t>(), parent->children.size());
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(at), element);
    parent->hasChildren = true;
  } else if (key == "terminate" || key == "relaunch") {
    int32_t pid = body.get<int32_t>();
    if (!world.app(pid))
      throw SceneError("no running app with pid " + std::to_string(pid));
    if (key == "terminate") {
      workspace_.terminate(pid);
    } else {
      workspace_.relaunch(pid);
    }
  } else if (key == "userInput") {
    auto event = std::make_shared<SimEvent>(SimEvent::Kind::plain, body["type"].get<uint32_t>());
    events_.deliverFromElsewhere(body["pid"].get<int32_t>(), std::move(event), 0);
  } else if (key == "appActivates") {
    int32_t pid = body.get<int32_t>();
    auto event =
        std::make_shared<SimEvent>(SimEvent::Kind::other, quartz::NSEventTypeAppKitDefined);
    event->subtype = quartz::NSEventSubtypeApplicationActivated;
    events_.deliverFromElsewhere(pid, std::move(event), pid);
  } else if (key == "event21") {
    auto event = std::make_shared<SimEvent>(SimEvent::Kind::other, quartz::kEventTypeWindowState);
    event->objectWindowNumber = body["windowNumber"].get<int64_t>();
    events_.deliverFromElsewhere(body["pid"].get<int32_t>(), std::move(event),
                                 body["from"].get<int32_t>());
  } else if (key == "disableTap") {
    uint32_t reason = body["reason"] == "timeout" ? quartz::kCGEventTapDisabledByTimeout
                                                  : quartz::kCGEventTapDisabledByUserInput;
    events_.disableTaps(body["pid"].get<int32_t>(), reason);
  } else if (key == "advanceClock") {
    advanceClock_(body.get<double>());
  }
}

nlohmann::json Script::progress() const {
  nlohmann::json fired = nlohmann::json::array();
  for (const ScriptRule& rule : rules_)
    fired.push_back(rule.fired);
  nlohmann::json posts = nlohmann::json::object();
  for (const auto& [pid, count] : posts_)
    posts[std::to_string(pid)] = count;
  return {{"fired", std::move(fired)}, {"posts", std::move(posts)}};
}

}  // namespace cuh::sim
