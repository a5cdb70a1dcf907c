#include "accessibility/accessibility_tree.h"

#include <algorithm>
#include <array>
#include <span>
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

// A row's plain attributes, read in one round trip: the eight texts, the
// five booleans (busy has two names), the frame and, where the walk goes on
// below the element, its children (last, so that it can be left off).
constexpr std::array<std::string_view, 16> kRowAttributes = {
    ax::kRoleAttribute,        ax::kSubroleAttribute,    ax::kTitleAttribute,
    ax::kDescriptionAttribute, ax::kHelpAttribute,       ax::kPlaceholderValueAttribute,
    ax::kValueAttribute,       ax::kIdentifierAttribute, ax::kElementBusyAttribute,
    ax::kBusyAttribute,        ax::kFocusedAttribute,    ax::kEnabledAttribute,
    ax::kSelectedAttribute,    ax::kPositionAttribute,   ax::kSizeAttribute,
    ax::kChildrenAttribute};

bool settable(platform::Accessibility& ax, const AXElement& element, std::string_view attribute) {
  auto answer = ax.isAttributeSettable(element, attribute);
  return answer.ok() && answer.value.value_or(false);
}

// The row of one element, and its children when `withChildren`: one batched
// read, then the action names and the two settable queries, in that order.
Json buildRow(platform::Accessibility& ax,
              const Entry& entry,
              size_t index,
              const platform::Rect& windowFrame,
              bool withChildren,
              std::vector<AXElement>& kids) {
  std::span<const std::string_view> names(kRowAttributes);
  const AttributeBatch read(ax, entry.element,
                            withChildren ? names : names.first(names.size() - 1));
  Json row = Json::object();
  row["index"] = index;
  row["depth"] = entry.depth;
  row["role"] = read.text(ax::kRoleAttribute);
  row["subrole"] = read.text(ax::kSubroleAttribute);
  row["title"] = read.text(ax::kTitleAttribute);
  row["description"] = read.text(ax::kDescriptionAttribute);
  row["help"] = read.text(ax::kHelpAttribute);
  row["placeholder"] = read.text(ax::kPlaceholderValueAttribute);
  row["value"] = read.text(ax::kValueAttribute);
  row["identifier"] = read.text(ax::kIdentifierAttribute);
  row["actions"] = actions(ax, entry.element);
  row["path"] = entry.path;
  // "AXElementBusy" is the documented name; "AXBusy" is read as well.
  row["busy"] = read.boolean(ax::kElementBusyAttribute).value_or(false) ||
                read.boolean(ax::kBusyAttribute).value_or(false);
  row["focused"] = read.boolean(ax::kFocusedAttribute).value_or(false);
  row["enabled"] = read.boolean(ax::kEnabledAttribute).value_or(true);
  row["selectable"] = settable(ax, entry.element, ax::kSelectedAttribute);
  row["valueSettable"] = settable(ax, entry.element, ax::kValueAttribute);
  if (auto selected = read.boolean(ax::kSelectedAttribute))
    row["selected"] = *selected;
  if (auto frame = read.frame(); frame && frame->width() > 0 && frame->height() > 0) {
    row["x"] = frame->minX() - windowFrame.minX();
    row["y"] = frame->minY() - windowFrame.minY();
    row["width"] = frame->width();
    row["height"] = frame->height();
  }
  if (withChildren)
    kids = read.elements(ax::kChildrenAttribute);
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
    // The last row's children would be dropped unread.
    const bool expand = entry.depth <= kTreeExpandDepth && rows.size() + 1 < kTreeRowLimit;
    std::vector<AXElement> kids;
    rows.push_back(buildRow(ax, entry, rows.size(), windowFrame, expand, kids));
    if (expand) {
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
