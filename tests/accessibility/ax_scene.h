// Small scenes for the accessibility tests: the target application alone,
// with its one window (800 x 600 at (100, 50), titled "Doc") whose element
// holds the given children, and helpers to reach live element handles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "protocol/json.h"
#include "support/test_desktop.h"
#include "windows/ax_readers.h"

namespace cuh::testing {

inline const platform::Rect kWindowFrame{{100, 50}, {800, 600}};

// A frame given relative to the window's top-left corner.
inline Json relativeFrame(double x, double y, double width, double height) {
  return sceneFrame(kWindowFrame.minX() + x, kWindowFrame.minY() + y, width, height);
}

// The window's element: "AXWindow" with the window's frame and title unless
// `windowAx` says otherwise, and these children.
inline Json sceneWith(Json children, Json windowAx = Json::object()) {
  windowAx["children"] = std::move(children);
  return Json{
      {"apps", Json::array({Json{{"pid", kTargetPid}, {"name", "Notes"}}})},
      {"windows",
       Json::array({Json{{"id", kTargetWindow},
                         {"pid", kTargetPid},
                         {"title", "Doc"},
                         {"bounds", sceneFrame(kWindowFrame.minX(), kWindowFrame.minY(),
                                               kWindowFrame.width(), kWindowFrame.height())},
                         {"ax", std::move(windowAx)}}})},
  };
}

inline std::unique_ptr<sim::SimDesktop> desktopWith(Json children, Json windowAx = Json::object()) {
  return sim::SimDesktop::create(sceneWith(std::move(children), std::move(windowAx)));
}

// The observed-window parameters of the scene's window.
inline Json windowParams() {
  return Json{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 800}, {"height", 600}};
}

// A chain of `levels` nested groups whose innermost element is `leaf`:
// levels 0 gives the leaf itself.
inline Json nested(int levels, Json leaf) {
  Json element = std::move(leaf);
  for (int i = 0; i < levels; ++i) {
    element = Json{{"role", "AXGroup"}, {"children", Json::array({std::move(element)})}};
  }
  return element;
}

// The live element of the scene's window, through the application's
// "AXWindows".
inline platform::AXElement windowElement(platform::Platform& platform, int32_t pid = kTargetPid) {
  auto& ax = platform.accessibility();
  auto windows = ax.copyAttributeValue(ax.createApplication(pid), "AXWindows");
  const auto* list = windows.value ? windows.value->as<platform::Array>() : nullptr;
  if (!list || list->empty())
    return {};
  const auto* element = list->front().as<platform::AXElement>();
  return element ? *element : platform::AXElement{};
}

// The live element at `path` below `root` (all children counted); a null
// handle when the path does not lead anywhere.
inline platform::AXElement elementAt(platform::Platform& platform,
                                     platform::AXElement root,
                                     const std::vector<size_t>& path) {
  for (size_t position : path) {
    auto kids = children(platform.accessibility(), root);
    if (position >= kids.size())
      return {};
    root = kids[position];
  }
  return root;
}

}  // namespace cuh::testing
