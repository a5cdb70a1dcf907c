#include "windows/window_list.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ax_names.h"
#include "platform/window_rows.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"
#include "windows/exact_window.h"

namespace cuh {

using platform::Value;

namespace {

// What one listing learns about an application, once.
struct ListedApplication {
  std::string bundleId;
  // The focused window, when the application answered with one.
  std::optional<WindowElementFacts> focusedWindow;
  // Output positions of the rows that matched the focused window.
  std::vector<size_t> matchedRows;
};

ListedApplication examine(platform::Platform& platform, int32_t pid) {
  ListedApplication application;
  if (auto running = platform.workspace().runningApplicationWithProcessIdentifier(pid)) {
    application.bundleId = running->bundleIdentifier().value_or("");
  }
  auto& ax = platform.accessibility();
  if (auto focused =
          platform::elementAttribute(ax, ax.createApplication(pid), ax::kFocusedWindowAttribute)) {
    application.focusedWindow.emplace(ax, *focused);
  }
  return application;
}

}  // namespace

Json listWindows(platform::Platform& platform) {
  std::unordered_map<int32_t, ListedApplication> applications;
  Json windows = Json::array();
  for (const Value& row :
       platform::windowListRows(platform.windowServer(), platform::kListAllWindows)) {
    if (!platform::rowQualifies(row))
      continue;
    auto frame = platform::rowBounds(row);
    // Written so that NaN sizes are dropped too.
    if (!frame || !(frame->width() > 1) || !(frame->height() > 1))
      continue;

    int32_t pid = platform::rowOwnerPID(row).value_or(0);
    std::string owner = platform::rowString(row, platform::kRowOwnerName);
    std::string title = platform::rowString(row, platform::kRowWindowName);
    if (title.empty())
      title = owner;

    auto found = applications.find(pid);
    if (found == applications.end())
      found = applications.emplace(pid, examine(platform, pid)).first;
    ListedApplication& application = found->second;
    size_t position = windows.size();
    if (application.focusedWindow && windowMatches(*application.focusedWindow, row)) {
      application.matchedRows.push_back(position);
    }

    windows.push_back(Json{
        {"windowId", platform::rowWindowNumber(row).value_or(0)},
        {"pid", pid},
        {"owner", owner},
        {"bundleId", application.bundleId},
        {"title", title},
        {"x", frame->minX()},
        {"y", frame->minY()},
        {"width", frame->width()},
        {"height", frame->height()},
        {"focused", false},
        {"onScreen", platform::rowFlag(row, platform::kRowIsOnscreen)},
        {"zOrder", position},
    });
  }
  // Mark a focused window only where the match is unambiguous: two rows that
  // both look like the focused window leave the caller no way to tell.
  for (const auto& [pid, application] : applications) {
    if (application.matchedRows.size() == 1)
      windows[application.matchedRows[0]]["focused"] = true;
  }
  return windows;
}

}  // namespace cuh
