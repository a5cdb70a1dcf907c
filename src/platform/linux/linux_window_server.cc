#include "platform/linux/linux_window_server.h"

namespace cuh::linux_desktop {

using platform::Dictionary;
using platform::Value;

Value windowRow(const XWindowFacts& window,
                const std::optional<std::string>& ownerName,
                std::optional<unsigned long> currentDesktop) {
  Dictionary row;
  row.emplace_back(platform::kRowWindowNumber, Value::integer(static_cast<int64_t>(window.id)));
  row.emplace_back(platform::kRowOwnerPID, Value::integer(window.pid.value_or(0)));
  if (ownerName)
    row.emplace_back(platform::kRowOwnerName, Value::string(*ownerName));
  if (window.name)
    row.emplace_back(platform::kRowWindowName, Value::string(*window.name));
  row.emplace_back(platform::kRowLayer,
                   Value::integer(windowLayer(window.types, window.overrideRedirect)));
  row.emplace_back(platform::kRowAlpha, Value::floating(windowAlpha(window.opacity)));
  row.emplace_back(platform::kRowIsOnscreen,
                   Value::boolean(windowOnScreen(window.viewable, window.states, window.desktop,
                                                 currentDesktop)));
  PixelRect r = window.rectangle();
  Dictionary bounds{{"X", Value::floating(static_cast<double>(r.x))},
                    {"Y", Value::floating(static_cast<double>(r.y))},
                    {"Width", Value::floating(static_cast<double>(r.width))},
                    {"Height", Value::floating(static_cast<double>(r.height))}};
  row.emplace_back(platform::kRowBounds, Value(Value::Storage(std::move(bounds))));
  return Value(Value::Storage(std::move(row)));
}

std::optional<Value> LinuxWindowServer::copyWindowInfo(uint32_t option, uint32_t relativeToWindow) {
  session_.touch();
  if (session_.x().lost())
    return std::nullopt;
  const std::vector<XWindowFacts>& windows = session_.windowList();
  std::optional<unsigned long> currentDesktop = session_.currentDesktop();
  // Every row's owner owns a listed window: its name needs no more than
  // the window list.
  auto rowOf = [&](const XWindowFacts& window) {
    std::optional<ProcessFacts> owner = session_.process(*window.pid);
    return windowRow(window, owner ? owner->displayName : std::nullopt, currentDesktop);
  };
  auto onScreen = [&](const XWindowFacts& window) {
    return windowOnScreen(window.viewable, window.states, window.desktop, currentDesktop);
  };

  platform::Array rows;
  if (option & platform::kCGWindowListOptionIncludingWindow) {
    for (const XWindowFacts& window : windows) {
      if (relativeToWindow != platform::kNullWindowID && window.id == relativeToWindow)
        rows.push_back(rowOf(window));
    }
    return Value(Value::Storage(std::move(rows)));
  }
  bool above = option & platform::kCGWindowListOptionOnScreenAboveWindow;
  bool below = option & platform::kCGWindowListOptionOnScreenBelowWindow;
  bool onScreenOnly = (option & platform::kCGWindowListOptionOnScreenOnly) || above || below;
  bool excludeDesktop = option & platform::kCGWindowListExcludeDesktopElements;
  size_t relative = windows.size();
  if (above || below) {
    for (size_t i = 0; i < windows.size(); ++i) {
      if (windows[i].id == relativeToWindow)
        relative = i;
    }
  }
  for (size_t i = 0; i < windows.size(); ++i) {
    const XWindowFacts& window = windows[i];
    if (onScreenOnly && !onScreen(window))
      continue;
    if (excludeDesktop && windowLayer(window.types, window.overrideRedirect) == kDesktopLayer)
      continue;
    if (relative < windows.size()) {
      if (above && !below && i >= relative)
        continue;
      if (below && !above && i <= relative)
        continue;
      if (above && below && i == relative)
        continue;
    }
    rows.push_back(rowOf(window));
  }
  return Value(Value::Storage(std::move(rows)));
}

}  // namespace cuh::linux_desktop
