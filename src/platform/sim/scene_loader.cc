#include "platform/sim/scene_loader.h"

#include <cmath>
#include <limits>
#include <set>

#include "platform/ax_names.h"
#include "platform/sim/sim_values.h"

namespace cuh::sim {

using nlohmann::json;
using platform::Rect;
using platform::Value;

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
  throw SceneError(path + ": " + problem);
}

std::string at(const std::string& path, const std::string& key) {
  return path + "." + key;
}

std::string index(const std::string& path, size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

void requireObject(const json& j, const std::string& path) {
  if (!j.is_object())
    fail(path, "must be an object");
}

// Keys starting with "_" are comments; any other unknown key is a mistake.
void checkKeys(const json& j, const std::string& path, std::initializer_list<const char*> known) {
  for (const auto& [key, value] : j.items()) {
    (void)value;
    if (!key.empty() && key[0] == '_')
      continue;
    bool ok = false;
    for (const char* k : known)
      ok = ok || key == k;
    if (!ok)
      fail(at(path, key), "unknown key");
  }
}

const json* find(const json& j, const char* key) {
  auto it = j.find(key);
  return it == j.end() ? nullptr : &*it;
}

int64_t integerIn(const json& j, const std::string& path, int64_t min, int64_t max) {
  if (j.is_number_unsigned()) {
    auto v = j.get<uint64_t>();
    if (v <= static_cast<uint64_t>(max) && static_cast<int64_t>(v) >= min) {
      return static_cast<int64_t>(v);
    }
    fail(path, "integer out of range");
  }
  if (!j.is_number_integer())
    fail(path, "must be an integer");
  auto v = j.get<int64_t>();
  if (v < min || v > max)
    fail(path, "integer out of range");
  return v;
}

int32_t pidValue(const json& j, const std::string& path) {
  return static_cast<int32_t>(
      integerIn(j, path, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

uint32_t windowIdValue(const json& j, const std::string& path) {
  return static_cast<uint32_t>(integerIn(j, path, 1, std::numeric_limits<uint32_t>::max()));
}

double numberValue(const json& j, const std::string& path) {
  if (!j.is_number())
    fail(path, "must be a number");
  double v = j.get<double>();
  if (!std::isfinite(v))
    fail(path, "must be a finite number");
  return v;
}

std::string stringValue(const json& j, const std::string& path) {
  if (!j.is_string())
    fail(path, "must be a string");
  return j.get<std::string>();
}

bool boolValue(const json& j, const std::string& path) {
  if (!j.is_boolean())
    fail(path, "must be true or false");
  return j.get<bool>();
}

std::optional<std::string> optionalString(const json& object,
                                          const char* key,
                                          const std::string& path) {
  const json* j = find(object, key);
  if (!j || j->is_null())
    return std::nullopt;
  return stringValue(*j, at(path, key));
}

std::vector<std::string> stringList(const json& j, const std::string& path) {
  if (!j.is_array())
    fail(path, "must be a list of strings");
  std::vector<std::string> out;
  for (size_t i = 0; i < j.size(); ++i)
    out.push_back(stringValue(j[i], index(path, i)));
  return out;
}

Rect rectValue(const json& j, const std::string& path) {
  requireObject(j, path);
  checkKeys(j, path, {"x", "y", "width", "height"});
  Rect r;
  for (const char* key : {"x", "y", "width", "height"}) {
    if (!j.contains(key))
      fail(at(path, key), "required");
  }
  r.origin.x = numberValue(j["x"], at(path, "x"));
  r.origin.y = numberValue(j["y"], at(path, "y"));
  r.size.width = numberValue(j["width"], at(path, "width"));
  r.size.height = numberValue(j["height"], at(path, "height"));
  if (r.size.width < 0)
    fail(at(path, "width"), "must not be negative");
  if (r.size.height < 0)
    fail(at(path, "height"), "must not be negative");
  return r;
}

platform::ActivationPolicy policyValue(const json& j, const std::string& path) {
  if (j.is_string()) {
    auto s = j.get<std::string>();
    if (s == "regular")
      return platform::ActivationPolicy::regular;
    if (s == "accessory")
      return platform::ActivationPolicy::accessory;
    if (s == "prohibited")
      return platform::ActivationPolicy::prohibited;
  }
  fail(path, "must be \"regular\", \"accessory\" or \"prohibited\"");
}

Rgb colorValue(const json& j, const std::string& path) {
  requireObject(j, path);
  checkKeys(j, path, {"color"});
  const json* color = find(j, "color");
  if (!color)
    fail(at(path, "color"), "required");
  std::string text = stringValue(*color, at(path, "color"));
  auto hex = [&](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  if (text.size() != 7 || text[0] != '#')
    fail(at(path, "color"), "must be \"#rrggbb\"");
  int digits[6];
  for (int i = 0; i < 6; ++i) {
    digits[i] = hex(text[static_cast<size_t>(i) + 1]);
    if (digits[i] < 0)
      fail(at(path, "color"), "must be \"#rrggbb\"");
  }
  return Rgb{static_cast<uint8_t>(digits[0] * 16 + digits[1]),
             static_cast<uint8_t>(digits[2] * 16 + digits[3]),
             static_cast<uint8_t>(digits[4] * 16 + digits[5])};
}

constexpr int kMaxElementDepth = 512;

struct WindowDefaults {
  std::optional<Rect> bounds;
  std::optional<std::string> title;
};

void setStringAttribute(Node& node,
                        const json& j,
                        const char* key,
                        std::string_view attribute,
                        const std::string& path) {
  const json* value = find(j, key);
  if (!value || value->is_null())
    return;
  node.setAttribute(attribute, Value::string(stringValue(*value, at(path, key))));
}

void setBoolAttribute(Node& node,
                      const json& j,
                      const char* key,
                      std::string_view attribute,
                      const std::string& path) {
  const json* value = find(j, key);
  if (!value || value->is_null())
    return;
  node.setAttribute(attribute, Value::boolean(boolValue(*value, at(path, key))));
}

std::shared_ptr<Node> buildNode(const json& j,
                                const std::string& path,
                                const WindowDefaults* window,
                                int depth = 0) {
  requireObject(j, path);
  // Deeper trees than any real window has would only exhaust the stack.
  if (depth > kMaxElementDepth)
    fail(path, "elements nested more than " + std::to_string(kMaxElementDepth) + " deep");
  checkKeys(j, path,
            {"ref",         "role",       "subrole",   "title",   "description",       "help",
             "placeholder", "identifier", "value",     "enabled", "focused",           "busy",
             "selected",    "hidden",     "minimized", "frame",   "selectedTextRange", "attributes",
             "settable",    "actions",    "children",  "rejects", "failAfter",         "readback"});
  auto node = std::make_shared<Node>();
  if (const json* ref = find(j, "ref"); ref && !ref->is_null()) {
    node->ref = stringValue(*ref, at(path, "ref"));
    if (node->ref.empty())
      fail(at(path, "ref"), "must not be empty");
    if (node->ref.find('/') != std::string::npos || node->ref.rfind("app:", 0) == 0) {
      fail(at(path, "ref"), "must not contain \"/\" or start with \"app:\"");
    }
  }
  // Keys applied in order; `attributes` first so the named keys win.
  if (const json* attributes = find(j, "attributes"); attributes && !attributes->is_null()) {
    std::string p = at(path, "attributes");
    requireObject(*attributes, p);
    for (const auto& [name, value] : attributes->items()) {
      auto converted = valueFromScene(value, at(p, name));
      if (converted)
        node->attributes[name] = std::move(*converted);
    }
  }
  setStringAttribute(*node, j, "role", ax::kRoleAttribute, path);
  setStringAttribute(*node, j, "subrole", ax::kSubroleAttribute, path);
  setStringAttribute(*node, j, "title", ax::kTitleAttribute, path);
  setStringAttribute(*node, j, "description", ax::kDescriptionAttribute, path);
  setStringAttribute(*node, j, "help", ax::kHelpAttribute, path);
  setStringAttribute(*node, j, "placeholder", ax::kPlaceholderValueAttribute, path);
  setStringAttribute(*node, j, "identifier", ax::kIdentifierAttribute, path);
  setBoolAttribute(*node, j, "enabled", ax::kEnabledAttribute, path);
  setBoolAttribute(*node, j, "focused", ax::kFocusedAttribute, path);
  setBoolAttribute(*node, j, "busy", ax::kBusyAttribute, path);
  setBoolAttribute(*node, j, "selected", ax::kSelectedAttribute, path);
  setBoolAttribute(*node, j, "hidden", ax::kHiddenAttribute, path);
  setBoolAttribute(*node, j, "minimized", ax::kMinimizedAttribute, path);
  if (const json* value = find(j, "value"); value && !value->is_null()) {
    std::string p = at(path, "value");
    if (value->is_string()) {
      node->setAttribute(ax::kValueAttribute, Value::string(value->get<std::string>()));
    } else if (value->is_boolean()) {
      node->setAttribute(ax::kValueAttribute, Value::boolean(value->get<bool>()));
    } else if (value->is_number()) {
      node->setAttribute(ax::kValueAttribute, *valueFromScene(*value, p));
    } else if (value->is_object() && value->size() == 1 && value->contains("attributed")) {
      node->setAttribute(ax::kValueAttribute, *valueFromScene(*value, p));
    } else {
      fail(p, "must be a string, a number, a bool or {\"attributed\": text}");
    }
  }
  if (const json* frame = find(j, "frame")) {
    if (!frame->is_null())
      node->setFrame(rectValue(*frame, at(path, "frame")));
  } else if (window && window->bounds) {
    node->setFrame(window->bounds);
  }
  if (const json* range = find(j, "selectedTextRange"); range && !range->is_null()) {
    std::string p = at(path, "selectedTextRange");
    if (!range->is_array() || range->size() != 2)
      fail(p, "must be [location, length]");
    int64_t location = integerIn((*range)[0], index(p, 0), 0, INT64_MAX);
    int64_t length = integerIn((*range)[1], index(p, 1), 0, INT64_MAX);
    node->setAttribute(ax::kSelectedTextRangeAttribute,
                       Value(Value::Storage(platform::Range{location, length})));
  }
  if (window) {
    if (!j.contains("role"))
      node->setAttribute(ax::kRoleAttribute, Value::string(std::string(ax::kWindowRole)));
    if (!j.contains("title") && window->title)
      node->setAttribute(ax::kTitleAttribute, Value::string(*window->title));
  }
  if (const json* settable = find(j, "settable"); settable && !settable->is_null()) {
    for (auto& name : stringList(*settable, at(path, "settable")))
      node->settable.insert(name);
  }
  if (const json* actions = find(j, "actions"); actions && !actions->is_null()) {
    node->actions = stringList(*actions, at(path, "actions"));
  }
  if (const json* rejects = find(j, "rejects"); rejects && !rejects->is_null()) {
    for (auto& name : stringList(*rejects, at(path, "rejects")))
      node->rejects.insert(name);
  }
  if (const json* failAfter = find(j, "failAfter"); failAfter && !failAfter->is_null()) {
    std::string p = at(path, "failAfter");
    requireObject(*failAfter, p);
    for (const auto& [name, count] : failAfter->items()) {
      node->failAfter[name] = integerIn(count, at(p, name), 0, INT64_MAX);
    }
  }
  if (const json* readback = find(j, "readback"); readback && !readback->is_null()) {
    std::string p = at(path, "readback");
    std::string mode = stringValue(*readback, p);
    if (mode == "stale") {
      node->staleReadback = true;
    } else if (mode != "live") {
      fail(p, "must be \"stale\" or \"live\"");
    }
  }
  if (const json* children = find(j, "children"); children && !children->is_null()) {
    std::string p = at(path, "children");
    if (!children->is_array())
      fail(p, "must be a list of elements");
    node->hasChildren = true;
    for (size_t i = 0; i < children->size(); ++i) {
      auto child = buildNode((*children)[i], index(p, i), nullptr, depth + 1);
      child->parent = node;
      node->children.push_back(std::move(child));
    }
  }
  return node;
}

void collectRefs(const std::shared_ptr<Node>& root,
                 const std::string& path,
                 std::set<std::string>& refs,
                 bool unique) {
  visitTree(root, [&](const std::shared_ptr<Node>& node) {
    if (!node->ref.empty() && !refs.insert(node->ref).second && unique) {
      fail(path, "the element ref \"" + node->ref + "\" is used twice");
    }
    return false;
  });
}

AppProfile parseApp(const json& j, const std::string& path, bool launchable) {
  requireObject(j, path);
  if (launchable) {
    checkKeys(j, path,
              {"pid", "name", "bundleId", "path", "policy", "finishedLaunching", "axEnabled",
               "focusedWindow", "focusedElement", "rejects", "dropsActivation", "icon", "windows",
               "error", "delayMs"});
  } else {
    checkKeys(j, path,
              {"pid", "name", "bundleId", "path", "policy", "finishedLaunching", "axEnabled",
               "focusedWindow", "focusedElement", "rejects", "dropsActivation", "icon"});
  }
  AppProfile profile;
  const json* pid = find(j, "pid");
  if (!pid)
    fail(at(path, "pid"), "required");
  profile.pid = pidValue(*pid, at(path, "pid"));
  profile.name = optionalString(j, "name", path);
  profile.bundleId = optionalString(j, "bundleId", path);
  profile.path = optionalString(j, "path", path);
  if (const json* policy = find(j, "policy"); policy && !policy->is_null()) {
    profile.policy = policyValue(*policy, at(path, "policy"));
  }
  if (const json* v = find(j, "finishedLaunching"); v && !v->is_null()) {
    profile.finishedLaunching = boolValue(*v, at(path, "finishedLaunching"));
  }
  if (const json* v = find(j, "axEnabled"); v && !v->is_null()) {
    profile.axEnabled = boolValue(*v, at(path, "axEnabled"));
  }
  if (const json* v = find(j, "focusedWindow")) {
    profile.focusedWindow.present = true;
    if (!v->is_null())
      profile.focusedWindow.value = windowIdValue(*v, at(path, "focusedWindow"));
  }
  if (const json* v = find(j, "focusedElement")) {
    profile.focusedElement.present = true;
    if (!v->is_null())
      profile.focusedElement.value = stringValue(*v, at(path, "focusedElement"));
  }
  if (const json* v = find(j, "rejects"); v && !v->is_null()) {
    for (auto& name : stringList(*v, at(path, "rejects")))
      profile.rejects.insert(name);
  }
  if (const json* v = find(j, "dropsActivation"); v && !v->is_null()) {
    profile.dropsActivation = boolValue(*v, at(path, "dropsActivation"));
  }
  if (const json* v = find(j, "icon"); v && !v->is_null()) {
    profile.icon = colorValue(*v, at(path, "icon"));
  }
  return profile;
}

// Checks an app's focus choices against the windows it will have.
void checkFocusChoices(const AppProfile& profile,
                       const std::vector<std::shared_ptr<Window>>& windows,
                       const std::string& path) {
  if (profile.focusedWindow.value) {
    bool ok = false;
    for (const auto& window : windows) {
      ok = ok || (window->id == *profile.focusedWindow.value && window->pid == profile.pid &&
                  window->root);
    }
    if (!ok)
      fail(at(path, "focusedWindow"), "not a window of this app with an \"ax\" element");
  }
  if (profile.focusedElement.value) {
    bool ok = false;
    for (const auto& window : windows) {
      if (window->pid != profile.pid)
        continue;
      visitTree(window->root, [&](const std::shared_ptr<Node>& node) {
        ok = ok || node->ref == *profile.focusedElement.value;
        return ok;
      });
    }
    if (!ok)
      fail(at(path, "focusedElement"), "not the ref of an element of this app's windows");
  }
}

void checkRef(const json& j, const std::string& path, const std::set<std::string>& refs) {
  std::string ref = stringValue(j, path);
  if (refs.count(ref))
    return;
  if (ref.rfind("app:", 0) == 0) {
    try {
      size_t used = 0;
      (void)std::stoi(ref.substr(4), &used);
      if (used == ref.size() - 4)
        return;
    } catch (const std::exception&) {
    }
    fail(path, "\"" + ref + "\" is not \"app:PID\"");
  }
  if (ref.find('/') != std::string::npos)
    return;  // a path name; checked when used
  fail(path, "no element has the ref \"" + ref + "\"");
}

void requireKeys(const json& j, const std::string& path, std::initializer_list<const char*> keys) {
  requireObject(j, path);
  checkKeys(j, path, keys);
  for (const char* key : keys) {
    if (!j.contains(key))
      fail(at(path, key), "required");
  }
}

const char* singleKey(const json& j,
                      const std::string& path,
                      std::initializer_list<const char*> known) {
  requireObject(j, path);
  if (j.size() != 1)
    fail(path, "must have exactly one key");
  const std::string& key = j.begin().key();
  for (const char* k : known) {
    if (key == k)
      return k;
  }
  fail(at(path, key), "unknown key");
}

// Refs a script action or trigger names must exist somewhere in the scene.
void checkActionRefs(const json& action,
                     const std::string& path,
                     const std::set<std::string>& refs) {
  const std::string& key = action.begin().key();
  const json& body = action.begin().value();
  std::string p = at(path, key);
  if (key == "set")
    checkRef(body["ref"], at(p, "ref"), refs);
  if (key == "remove")
    checkRef(body, p, refs);
  if (key == "insert")
    checkRef(body["parent"], at(p, "parent"), refs);
}

void collectInsertedRefs(const json& action, std::set<std::string>& refs) {
  if (action.is_object() && action.contains("insert")) {
    auto element = buildElement(action["insert"]["element"], "$");
    collectRefs(element, "$", refs, false);
  }
}

}  // namespace

std::shared_ptr<Node> buildElement(const json& j, const std::string& path) {
  return buildNode(j, path, nullptr);
}

std::shared_ptr<Window> buildWindow(const json& j,
                                    const std::string& path,
                                    std::optional<int32_t> ownerPid) {
  requireObject(j, path);
  checkKeys(j, path,
            {"id", "pid", "owner", "title", "layer", "alpha", "onScreen", "bounds", "row", "ax"});
  auto window = std::make_shared<Window>();
  const json* id = find(j, "id");
  if (!id)
    fail(at(path, "id"), "required");
  window->id = windowIdValue(*id, at(path, "id"));
  const json* pid = find(j, "pid");
  if (pid) {
    window->pid = pidValue(*pid, at(path, "pid"));
    if (ownerPid && window->pid != *ownerPid)
      fail(at(path, "pid"), "must be the launchable's pid");
  } else if (ownerPid) {
    window->pid = *ownerPid;
  } else {
    fail(at(path, "pid"), "required");
  }
  if (const json* owner = find(j, "owner")) {
    window->ownerFromApp = false;
    if (!owner->is_null())
      window->owner = stringValue(*owner, at(path, "owner"));
  }
  window->title = optionalString(j, "title", path);
  window->layer = Value::integer(0);
  if (const json* layer = find(j, "layer")) {
    window->layer = layer->is_null() ? std::nullopt : valueFromScene(*layer, at(path, "layer"));
    if (!layer->is_null())
      (void)numberValue(*layer, at(path, "layer"));
  }
  window->alpha = Value::floating(1.0);
  if (const json* alpha = find(j, "alpha")) {
    window->alpha = std::nullopt;
    if (!alpha->is_null())
      window->alpha = Value::floating(numberValue(*alpha, at(path, "alpha")));
  }
  window->onScreen = true;
  if (const json* onScreen = find(j, "onScreen")) {
    window->onScreen = std::nullopt;
    if (!onScreen->is_null())
      window->onScreen = boolValue(*onScreen, at(path, "onScreen"));
  }
  if (const json* row = find(j, "row"); row && !row->is_null()) {
    requireObject(*row, at(path, "row"));
    for (const auto& [key, value] : row->items()) {
      if (!value.is_null())
        (void)valueFromScene(value, at(at(path, "row"), key));
    }
    window->row = *row;
  }
  if (const json* bounds = find(j, "bounds"); bounds && !bounds->is_null()) {
    window->bounds = rectValue(*bounds, at(path, "bounds"));
  } else if (!window->row.contains("kCGWindowBounds")) {
    fail(at(path, "bounds"), "required (unless \"row\" gives kCGWindowBounds)");
  }
  if (const json* ax = find(j, "ax"); ax && !ax->is_null()) {
    WindowDefaults defaults{window->bounds, window->title};
    window->root = buildNode(*ax, at(path, "ax"), &defaults);
    window->root->window = window;
  }
  return window;
}

void validateAction(const json& action, const std::string& path) {
  const char* key = singleKey(action, path,
                              {"frontmost", "raise", "move", "resize", "setTitle", "closeWindow",
                               "set", "remove", "insert", "terminate", "relaunch", "userInput",
                               "appActivates", "event21", "disableTap", "advanceClock"});
  const json& body = action.begin().value();
  std::string p = at(path, key);
  std::string k = key;
  if (k == "frontmost") {
    if (!body.is_null())
      pidValue(body, p);
  } else if (k == "raise" || k == "closeWindow") {
    windowIdValue(body, p);
  } else if (k == "move") {
    requireKeys(body, p, {"id", "x", "y"});
    windowIdValue(body["id"], at(p, "id"));
    numberValue(body["x"], at(p, "x"));
    numberValue(body["y"], at(p, "y"));
  } else if (k == "resize") {
    requireKeys(body, p, {"id", "width", "height"});
    windowIdValue(body["id"], at(p, "id"));
    if (numberValue(body["width"], at(p, "width")) < 0)
      fail(at(p, "width"), "must not be negative");
    if (numberValue(body["height"], at(p, "height")) < 0) {
      fail(at(p, "height"), "must not be negative");
    }
  } else if (k == "setTitle") {
    requireKeys(body, p, {"id", "title"});
    windowIdValue(body["id"], at(p, "id"));
    if (!body["title"].is_null())
      stringValue(body["title"], at(p, "title"));
  } else if (k == "set") {
    requireKeys(body, p, {"ref", "attribute", "value"});
    stringValue(body["ref"], at(p, "ref"));
    stringValue(body["attribute"], at(p, "attribute"));
    (void)valueFromScene(body["value"], at(p, "value"));
  } else if (k == "remove") {
    stringValue(body, p);
  } else if (k == "insert") {
    requireKeys(body, p, {"parent", "index", "element"});
    stringValue(body["parent"], at(p, "parent"));
    integerIn(body["index"], at(p, "index"), 0, INT32_MAX);
    (void)buildElement(body["element"], at(p, "element"));
  } else if (k == "terminate" || k == "relaunch" || k == "appActivates") {
    pidValue(body, p);
  } else if (k == "userInput") {
    requireKeys(body, p, {"pid", "type"});
    pidValue(body["pid"], at(p, "pid"));
    int64_t type = integerIn(body["type"], at(p, "type"), 0, 255);
    if (type != 1 && type != 3 && type != 10 && type != 22 && type != 25) {
      fail(at(p, "type"), "must be 1, 3, 10, 22 or 25");
    }
  } else if (k == "event21") {
    requireKeys(body, p, {"pid", "from", "windowNumber"});
    pidValue(body["pid"], at(p, "pid"));
    pidValue(body["from"], at(p, "from"));
    integerIn(body["windowNumber"], at(p, "windowNumber"), 0, UINT32_MAX);
  } else if (k == "disableTap") {
    requireKeys(body, p, {"pid", "reason"});
    pidValue(body["pid"], at(p, "pid"));
    std::string reason = stringValue(body["reason"], at(p, "reason"));
    if (reason != "timeout" && reason != "userInput") {
      fail(at(p, "reason"), "must be \"timeout\" or \"userInput\"");
    }
  } else if (k == "advanceClock") {
    if (numberValue(body, p) < 0)
      fail(p, "must not be negative");
  }
}

void applyFocusDefaults(App& app, const World& world) {
  const AppProfile& profile = app.profile;
  app.focusedWindow.reset();
  if (profile.focusedWindow.present) {
    app.focusedWindow = profile.focusedWindow.value;
  } else {
    for (const auto& window : world.windows) {
      if (window->pid == profile.pid && window->root) {
        app.focusedWindow = window->id;
        break;
      }
    }
  }
  app.focusedElement.reset();
  if (profile.focusedElement.present) {
    if (!profile.focusedElement.value)
      return;
    for (const auto& window : world.windows) {
      if (window->pid != profile.pid)
        continue;
      visitTree(window->root, [&](const std::shared_ptr<Node>& node) {
        if (node->ref != *profile.focusedElement.value)
          return false;
        app.focusedElement = node;
        return true;
      });
    }
    return;
  }
  std::vector<Window*> order;
  if (app.focusedWindow) {
    if (Window* focused = world.window(*app.focusedWindow))
      order.push_back(focused);
  }
  for (const auto& window : world.windows) {
    if (window->pid == profile.pid && (order.empty() || order[0] != window.get())) {
      order.push_back(window.get());
    }
  }
  for (Window* window : order) {
    if (visitTree(window->root, [&](const std::shared_ptr<Node>& node) {
          const Value* focused = node->attribute(ax::kFocusedAttribute);
          const auto* flag = focused ? focused->as<platform::Boolean>() : nullptr;
          if (!flag || !flag->value)
            return false;
          app.focusedElement = node;
          return true;
        })) {
      return;
    }
  }
}

LoadedScene loadScene(const json& scene) {
  const std::string root = "$";
  requireObject(scene, root);
  checkKeys(scene, root,
            {"trusted", "frontmost", "axLatencyUs", "apps", "windows", "launchable", "script"});
  LoadedScene loaded;
  World& world = loaded.world;
  if (const json* trusted = find(scene, "trusted"); trusted && !trusted->is_null()) {
    world.trusted = boolValue(*trusted, at(root, "trusted"));
  }
  if (const json* latency = find(scene, "axLatencyUs"); latency && !latency->is_null()) {
    double us = numberValue(*latency, at(root, "axLatencyUs"));
    if (us < 0)
      fail(at(root, "axLatencyUs"), "must not be negative");
    world.axLatencySeconds = us / 1e6;
  }

  std::set<int32_t> pids;
  std::vector<AppProfile> apps;
  if (const json* list = find(scene, "apps"); list && !list->is_null()) {
    std::string p = at(root, "apps");
    if (!list->is_array())
      fail(p, "must be a list");
    for (size_t i = 0; i < list->size(); ++i) {
      AppProfile profile = parseApp((*list)[i], index(p, i), false);
      if (!pids.insert(profile.pid).second)
        fail(at(index(p, i), "pid"), "another app has this pid");
      apps.push_back(std::move(profile));
    }
  }

  std::set<uint32_t> windowIds;
  std::set<std::string> refs;
  if (const json* list = find(scene, "windows"); list && !list->is_null()) {
    std::string p = at(root, "windows");
    if (!list->is_array())
      fail(p, "must be a list");
    for (size_t i = 0; i < list->size(); ++i) {
      auto window = buildWindow((*list)[i], index(p, i), std::nullopt);
      if (!windowIds.insert(window->id).second) {
        fail(at(index(p, i), "id"), "another window has this id");
      }
      collectRefs(window->root, at(index(p, i), "ax"), refs, true);
      world.windows.push_back(std::move(window));
    }
  }
  for (size_t i = 0; i < apps.size(); ++i) {
    checkFocusChoices(apps[i], world.windows, index(at(root, "apps"), i));
  }

  if (const json* list = find(scene, "launchable"); list && !list->is_null()) {
    std::string p = at(root, "launchable");
    if (!list->is_array())
      fail(p, "must be a list");
    for (size_t i = 0; i < list->size(); ++i) {
      std::string lp = index(p, i);
      const json& entry = (*list)[i];
      Launchable launchable;
      launchable.profile = parseApp(entry, lp, true);
      if (!pids.insert(launchable.profile.pid).second) {
        fail(at(lp, "pid"), "another app has this pid");
      }
      std::vector<std::shared_ptr<Window>> built;
      if (const json* windows = find(entry, "windows"); windows && !windows->is_null()) {
        std::string wp = at(lp, "windows");
        if (!windows->is_array())
          fail(wp, "must be a list");
        for (size_t w = 0; w < windows->size(); ++w) {
          auto window = buildWindow((*windows)[w], index(wp, w), launchable.profile.pid);
          if (!windowIds.insert(window->id).second) {
            fail(at(index(wp, w), "id"), "another window has this id");
          }
          collectRefs(window->root, at(index(wp, w), "ax"), refs, true);
          built.push_back(std::move(window));
        }
        launchable.windows = *windows;
      }
      checkFocusChoices(launchable.profile, built, lp);
      launchable.error = optionalString(entry, "error", lp);
      if (const json* delay = find(entry, "delayMs"); delay && !delay->is_null()) {
        double ms = numberValue(*delay, at(lp, "delayMs"));
        if (ms < 0)
          fail(at(lp, "delayMs"), "must not be negative");
        launchable.delaySeconds = ms / 1000.0;
      }
      world.launchable.push_back(std::move(launchable));
    }
  }

  if (const json* frontmost = find(scene, "frontmost"); frontmost && !frontmost->is_null()) {
    int32_t pid = pidValue(*frontmost, at(root, "frontmost"));
    bool running = false;
    for (const auto& profile : apps)
      running = running || profile.pid == pid;
    if (!running)
      fail(at(root, "frontmost"), "no app in \"apps\" has this pid");
    world.setFrontmost(pid);
  }

  for (auto& profile : apps) {
    auto app = std::make_shared<App>();
    app->profile = std::move(profile);
    app->object = std::make_shared<SimRunningApplication>(app->profile, world.frontmost);
    applyFocusDefaults(*app, world);
    world.apps.push_back(std::move(app));
  }

  if (const json* script = find(scene, "script"); script && !script->is_null()) {
    std::string p = at(root, "script");
    if (!script->is_array())
      fail(p, "must be a list of rules");
    // Shapes first, so that refs of elements inserted by any rule are known.
    for (size_t i = 0; i < script->size(); ++i) {
      std::string rp = index(p, i);
      const json& rule = (*script)[i];
      requireKeys(rule, rp, {"when", "do"});
      std::string wp = at(rp, "when");
      const char* trigger =
          singleKey(rule["when"], wp, {"afterResponses", "afterPosts", "afterSet", "afterAction"});
      const json& body = rule["when"][trigger];
      std::string tp = at(wp, trigger);
      std::string t = trigger;
      if (t == "afterResponses") {
        integerIn(body, tp, 1, INT64_MAX);
      } else if (t == "afterPosts") {
        requireKeys(body, tp, {"pid", "count"});
        pidValue(body["pid"], at(tp, "pid"));
        integerIn(body["count"], at(tp, "count"), 1, INT64_MAX);
      } else if (t == "afterSet") {
        requireKeys(body, tp, {"ref", "attribute"});
        stringValue(body["ref"], at(tp, "ref"));
        stringValue(body["attribute"], at(tp, "attribute"));
      } else {
        requireKeys(body, tp, {"ref", "action"});
        stringValue(body["ref"], at(tp, "ref"));
        stringValue(body["action"], at(tp, "action"));
      }
      std::string dp = at(rp, "do");
      if (!rule["do"].is_array())
        fail(dp, "must be a list of actions");
      for (size_t a = 0; a < rule["do"].size(); ++a) {
        validateAction(rule["do"][a], index(dp, a));
        collectInsertedRefs(rule["do"][a], refs);
      }
    }
    for (size_t i = 0; i < script->size(); ++i) {
      std::string rp = index(p, i);
      const json& rule = (*script)[i];
      const char* trigger = rule["when"].begin().key().c_str();
      std::string t = trigger;
      if (t == "afterSet" || t == "afterAction") {
        checkRef(rule["when"][t]["ref"], at(at(at(rp, "when"), t), "ref"), refs);
      }
      ScriptRule loadedRule;
      loadedRule.when = rule["when"];
      for (size_t a = 0; a < rule["do"].size(); ++a) {
        checkActionRefs(rule["do"][a], index(at(rp, "do"), a), refs);
        loadedRule.actions.push_back(rule["do"][a]);
      }
      loaded.script.push_back(std::move(loadedRule));
    }
  }
  return loaded;
}

}  // namespace cuh::sim
