#include "windows/exact_window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/ax_names.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"
#include "windows/canonical_text.h"
#include "windows/listed_window.h"

namespace cuh {

using platform::AXElement;
using platform::Value;

namespace {

constexpr double kRetryDelaySeconds = 0.1;
constexpr int kRetries = 2;

bool within(const platform::Rect& a, const platform::Rect& b, double tolerance) {
  // Written so that a NaN anywhere fails the comparison.
  return std::abs(a.minX() - b.minX()) <= tolerance && std::abs(a.minY() - b.minY()) <= tolerance &&
         std::abs(a.width() - b.width()) <= tolerance &&
         std::abs(a.height() - b.height()) <= tolerance;
}

// resolve: the one element of the application's AXWindows that matches the
// row; none when no element or several match.
std::optional<AXElement> resolve(platform::Platform& platform, int32_t pid, const Value& row) {
  auto& ax = platform.accessibility();
  auto windows = elementList(ax, ax.createApplication(pid), ax::kWindowsAttribute);
  std::optional<AXElement> found;
  for (const AXElement& window : windows) {
    if (!windowMatches(ax, window, row))
      continue;
    if (found)
      return std::nullopt;
    found = window;
  }
  return found;
}

}  // namespace

void WindowElementFacts::read() {
  if (facts_)
    return;
  // Everything the comparison may need, in one round trip.
  static constexpr std::array<std::string_view, 5> kAttributes = {
      ax::kPositionAttribute, ax::kSizeAttribute, ax::kHiddenAttribute, ax::kMinimizedAttribute,
      ax::kTitleAttribute};
  const AttributeBatch batch(*ax_, element_, kAttributes);
  facts_ = Facts{batch.frame(),
                 batch.boolean(ax::kHiddenAttribute).value_or(false) ||
                     batch.boolean(ax::kMinimizedAttribute).value_or(false),
                 batch.text(ax::kTitleAttribute)};
}

const std::optional<platform::Rect>& WindowElementFacts::frame() {
  read();
  return facts_->frame;
}

bool WindowElementFacts::hiddenOrMinimized() {
  read();
  return facts_->hiddenOrMinimized;
}

const std::string& WindowElementFacts::title() {
  read();
  return facts_->title;
}

double windowFrameTolerance(double width, double height) {
  double tolerance = std::max(width, height) * 0.002;
  if (tolerance >= 8.0)
    return 8.0;
  return std::max(tolerance, 2.0);
}

bool titlesAgree(const std::string& elementTitle,
                 const std::string& rowTitle,
                 const std::string& ownerName) {
  if (elementTitle.empty() || rowTitle.empty())
    return true;
  // " - " starts with a starter character, so normalising the parts and
  // joining them gives the normal form of the joined text.
  std::string element = canonicalForm(elementTitle);
  std::string row = canonicalForm(rowTitle);
  if (element == row)
    return true;
  if (ownerName.empty())
    return false;
  std::string suffix = " - " + canonicalForm(ownerName);
  std::string rowWithOwner = row + suffix;
  return element == rowWithOwner || element.starts_with(rowWithOwner + " - ") ||
         row == element + suffix;
}

bool windowMatches(WindowElementFacts& window, const Value& row) {
  auto rowFrame = platform::rowBounds(row);
  if (!rowFrame)
    return false;
  const auto& elementFrame = window.frame();
  if (!elementFrame)
    return false;
  double tolerance = windowFrameTolerance(rowFrame->width(), rowFrame->height());
  if (!within(*elementFrame, *rowFrame, tolerance))
    return false;
  if (window.hiddenOrMinimized())
    return false;
  return titlesAgree(window.title(), platform::rowString(row, platform::kRowWindowName),
                     platform::rowString(row, platform::kRowOwnerName));
}

bool windowMatches(platform::Accessibility& ax, const AXElement& window, const Value& row) {
  WindowElementFacts facts(ax, window);
  return windowMatches(facts, row);
}

AXElement exactWindow(platform::Platform& platform,
                      int32_t pid,
                      uint32_t windowID,
                      const Value& row) {
  if (auto element = resolve(platform, pid, row))
    return *element;
  auto observed = platform::rowBounds(row);
  if (!observed) {
    throw HelperFailure(
        "The observed macOS window no longer has valid bounds. Call get_app_state again");
  }
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    platform.mainLoop().sleep(kRetryDelaySeconds);
    auto fresh = platform::windowRow(platform, pid, windowID);
    if (!fresh)
      continue;
    auto freshFrame = platform::rowBounds(*fresh);
    if (!freshFrame)
      continue;
    if (!within(*freshFrame, *observed, kFrameTolerance)) {
      throw HelperFailure("The observed macOS window moved or resized. Call get_app_state again");
    }
    if (auto element = resolve(platform, pid, *fresh))
      return *element;
  }
  throw HelperFailure(
      "The observed macOS window could not be uniquely matched. Call get_app_state again");
}

}  // namespace cuh
