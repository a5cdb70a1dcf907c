#include "accessibility/accessibility_tree.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "accessibility/observed_window.h"
#include "platform/ax_names.h"
#include "windows/ax_readers.h"

namespace cuh {

using platform::AXElement;

namespace {

struct Entry {
  AXElement element;
  int depth;
  std::vector<int64_t> path;
};

bool settable(platform::Accessibility& ax, const AXElement& element, std::string_view attribute) {
  auto answer = ax.isAttributeSettable(element, attribute);
  return answer.ok() && answer.value.value_or(false);
}

Json buildRow(platform::Accessibility& ax,
              const Entry& entry,
              size_t index,
              const platform::Rect& windowFrame) {
  Json row = Json::object();
  row["index"] = index;
  row["depth"] = entry.depth;
  row["role"] = stringAttribute(ax, entry.element, ax::kRoleAttribute);
  row["subrole"] = stringAttribute(ax, entry.element, ax::kSubroleAttribute);
  row["title"] = stringAttribute(ax, entry.element, ax::kTitleAttribute);
  row["description"] = stringAttribute(ax, entry.element, ax::kDescriptionAttribute);
  row["help"] = stringAttribute(ax, entry.element, ax::kHelpAttribute);
  row["placeholder"] = stringAttribute(ax, entry.element, ax::kPlaceholderValueAttribute);
  row["value"] = stringAttribute(ax, entry.element, ax::kValueAttribute);
  row["identifier"] = stringAttribute(ax, entry.element, ax::kIdentifierAttribute);
  row["actions"] = actions(ax, entry.element);
  row["path"] = entry.path;
  row["busy"] =
      platform::boolAttribute(ax, entry.element, ax::kElementBusyAttribute).value_or(false) ||
      platform::boolAttribute(ax, entry.element, ax::kBusyAttribute).value_or(false);
  row["focused"] =
      platform::boolAttribute(ax, entry.element, ax::kFocusedAttribute).value_or(false);
  row["enabled"] = platform::boolAttribute(ax, entry.element, ax::kEnabledAttribute).value_or(true);
  row["selectable"] = settable(ax, entry.element, ax::kSelectedAttribute);
  row["valueSettable"] = settable(ax, entry.element, ax::kValueAttribute);
  if (auto selected = platform::boolAttribute(ax, entry.element, ax::kSelectedAttribute))
    row["selected"] = *selected;
  if (auto frame = rect(ax, entry.element); frame && frame->width() > 0 && frame->height() > 0) {
    row["x"] = frame->minX() - windowFrame.minX();
    row["y"] = frame->minY() - windowFrame.minY();
    row["width"] = frame->width();
    row["height"] = frame->height();
  }
  return row;
}

}  // namespace

Json snapshotRows(platform::Accessibility& ax,
                  const AXElement& window,
                  const platform::Rect& windowFrame) {
  Json rows = Json::array();
  std::vector<Entry> stack;
  stack.push_back({window, 0, {}});
  while (rows.size() < kTreeRowLimit && !stack.empty()) {
    Entry entry = std::move(stack.back());
    stack.pop_back();
    rows.push_back(buildRow(ax, entry, rows.size(), windowFrame));
    // The last row's children would be dropped unread.
    if (entry.depth <= kTreeExpandDepth && rows.size() < kTreeRowLimit) {
      std::vector<AXElement> kids = children(ax, entry.element);
      size_t count = std::min(kids.size(), kTreeChildLimit);
      for (size_t i = count; i > 0; --i) {
        std::vector<int64_t> path = entry.path;
        path.push_back(static_cast<int64_t>(i - 1));
        stack.push_back({std::move(kids[i - 1]), entry.depth + 1, std::move(path)});
      }
    }
  }
  return rows;
}

Json accessibilityTree(platform::Platform& platform, const Json& params) {
  ObservedWindowParams observed = readObservedWindowParams(params);
  ObservedWindow window = findObservedWindow(platform, observed);
  return snapshotRows(platform.accessibility(), window.element, window.frame);
}

}  // namespace cuh
