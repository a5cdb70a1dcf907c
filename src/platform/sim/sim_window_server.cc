#include "platform/sim/sim_window_server.h"

#include "platform/sim/sim_values.h"

namespace cuh::sim {

using platform::Dictionary;
using platform::Value;

namespace {

void put(Dictionary& row, const std::string& key, std::optional<Value> value) {
  for (auto it = row.begin(); it != row.end(); ++it) {
    if (it->first == key) {
      if (value) {
        it->second = std::move(*value);
      } else {
        row.erase(it);
      }
      return;
    }
  }
  if (value)
    row.emplace_back(key, std::move(*value));
}

Value number(double v) {
  return Value::floating(v);
}

}  // namespace

Value SimWindowServer::row(const Window& window) const {
  Dictionary row;
  row.emplace_back(platform::kRowWindowNumber, Value::integer(window.id));
  row.emplace_back(platform::kRowOwnerPID, Value::integer(window.pid));
  std::optional<std::string> owner = window.owner;
  if (window.ownerFromApp) {
    App* app = context_.world.app(window.pid);
    // An app without a name gives its windows no owner name.
    owner =
        app && app->profile.name && !app->profile.name->empty() ? app->profile.name : std::nullopt;
  }
  if (owner)
    row.emplace_back(platform::kRowOwnerName, Value::string(*owner));
  if (window.title)
    row.emplace_back(platform::kRowWindowName, Value::string(*window.title));
  if (window.layer)
    row.emplace_back(platform::kRowLayer, *window.layer);
  if (window.alpha)
    row.emplace_back(platform::kRowAlpha, *window.alpha);
  if (window.onScreen)
    row.emplace_back(platform::kRowIsOnscreen, Value::boolean(*window.onScreen));
  if (window.bounds) {
    Dictionary bounds{{"X", number(window.bounds->minX())},
                      {"Y", number(window.bounds->minY())},
                      {"Width", number(window.bounds->width())},
                      {"Height", number(window.bounds->height())}};
    row.emplace_back(platform::kRowBounds, Value(Value::Storage(std::move(bounds))));
  }
  for (const auto& [key, value] : window.row.items()) {
    put(row, key, valueFromScene(value, "$.row." + key));
  }
  return Value(Value::Storage(std::move(row)));
}

bool SimWindowServer::isOnScreen(const Window& window) const {
  Value r = row(window);
  const Value* entry = r.find(platform::kRowIsOnscreen);
  if (!entry)
    return false;
  if (const auto* b = entry->as<platform::Boolean>())
    return b->value;
  if (const auto* n = entry->as<platform::Number>())
    return n->boolValue();
  return false;
}

std::optional<Value> SimWindowServer::copyWindowInfo(uint32_t option, uint32_t relativeToWindow) {
  const auto& windows = context_.world.windows;
  platform::Array rows;
  if (option & platform::kCGWindowListOptionIncludingWindow) {
    // With a relative window: that window alone (none without one).
    for (const auto& window : windows) {
      if (relativeToWindow != platform::kNullWindowID && window->id == relativeToWindow) {
        rows.push_back(row(*window));
      }
    }
    return Value(Value::Storage(std::move(rows)));
  }
  bool above = option & platform::kCGWindowListOptionOnScreenAboveWindow;
  bool below = option & platform::kCGWindowListOptionOnScreenBelowWindow;
  bool onScreenOnly = (option & platform::kCGWindowListOptionOnScreenOnly) || above || below;
  size_t relative = windows.size();
  if (above || below) {
    for (size_t i = 0; i < windows.size(); ++i) {
      if (windows[i]->id == relativeToWindow)
        relative = i;
    }
  }
  for (size_t i = 0; i < windows.size(); ++i) {
    if (onScreenOnly && !isOnScreen(*windows[i]))
      continue;
    if (relative < windows.size()) {
      if (above && !below && i >= relative)
        continue;
      if (below && !above && i <= relative)
        continue;
    }
    rows.push_back(row(*windows[i]));
  }
  return Value(Value::Storage(std::move(rows)));
}

}  // namespace cuh::sim
