#include "windows/exact_window.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"
#include "windows/canonical_text.h"
#include "windows/window_rows.h"

namespace cuh {

using platform::AXElement;
using platform::Value;

namespace {

constexpr double kRecheckTolerance = 1.5;
constexpr double kRetryDelaySeconds = 0.1;
constexpr int kRetries = 2;

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// resolve: the one element of the application's "AXWindows" that matches.
std::optional<AXElement> resolve(platform::Platform& platform, int32_t pid, const Value& row) {
  auto& ax = platform.accessibility();
  AXElement application = ax.createApplication(pid);
  auto windows = ax.copyAttributeValue(application, "AXWindows");
  if (!windows.ok() || !windows.value) return std::nullopt;
  const auto* list = windows.value->as<platform::Array>();
  if (!list) return std::nullopt;
  std::optional<AXElement> found;
  for (const Value& entry : *list) {
    const auto* window = entry.as<AXElement>();
    if (!window || !*window || !windowMatches(ax, *window, row)) continue;
    if (found) return std::nullopt;  // two matches: not unique
    found = *window;
  }
  return found;
}

bool framesClose(const platform::Rect& a, const platform::Rect& b) {
  return std::abs(a.minX() - b.minX()) <= kRecheckTolerance &&
         std::abs(a.minY() - b.minY()) <= kRecheckTolerance &&
         std::abs(a.width() - b.width()) <= kRecheckTolerance &&
         std::abs(a.height() - b.height()) <= kRecheckTolerance;
}

}  // namespace

double windowFrameTolerance(double width, double height) {
  double tolerance = std::max(width, height) * 0.002;
  if (tolerance >= 8.0) return 8.0;
  return std::max(tolerance, 2.0);
}

bool titlesAgree(const std::string& elementTitle,
                 const std::string& rowTitle,
                 const std::string& ownerName) {
  if (elementTitle.empty() || rowTitle.empty()) return true;
  std::string element = canonicalForm(elementTitle);
  std::string row = canonicalForm(rowTitle);
  if (element == row) return true;
  if (ownerName.empty()) return false;
  std::string owner = canonicalForm(ownerName);
  return element == row + " - " + owner || startsWith(element, row + " - " + owner + " - ") ||
         row == element + " - " + owner;
}

bool windowMatches(platform::Accessibility& ax, const AXElement& window, const Value& row) {
  auto rowFrame = bounds(row);
  if (!rowFrame) return false;
  auto elementFrame = rect(ax, window);
  if (!elementFrame) return false;
  std::string rowTitle = rowString(row, platform::kCGWindowName);
  std::string ownerName = rowString(row, platform::kCGWindowOwnerName);
  double tolerance = windowFrameTolerance(rowFrame->width(), rowFrame->height());
  if (!(std::abs(elementFrame->minX() - rowFrame->minX()) <= tolerance &&
        std::abs(elementFrame->minY() - rowFrame->minY()) <= tolerance &&
        std::abs(elementFrame->width() - rowFrame->width()) <= tolerance &&
        std::abs(elementFrame->height() - rowFrame->height()) <= tolerance)) {
    return false;
  }
  if (boolAttribute(ax, window, "AXHidden").value_or(false)) return false;
  if (boolAttribute(ax, window, "AXMinimized").value_or(false)) return false;
  return titlesAgree(stringAttribute(ax, window, "AXTitle"), rowTitle, ownerName);
}

AXElement exactWindow(platform::Platform& platform,
                      int32_t pid,
                      uint32_t windowID,
                      const Value& row) {
  if (auto element = resolve(platform, pid, row)) return *element;
  auto observed = bounds(row);
  if (!observed) {
    throw HelperFailure(
        "The observed macOS window no longer has valid bounds. Call get_app_state again");
  }
  for (int attempt = 0; attempt < kRetries; ++attempt) {
    platform.mainLoop().sleep(kRetryDelaySeconds);
    auto fresh = windowRow(platform, pid, windowID);
    if (!fresh) continue;
    auto freshFrame = bounds(*fresh);
    if (!freshFrame) continue;
    if (!framesClose(*freshFrame, *observed)) {
      throw HelperFailure(
          "The observed macOS window moved or resized. Call get_app_state again");
    }
    if (auto element = resolve(platform, pid, *fresh)) return *element;
  }
  throw HelperFailure(
      "The observed macOS window could not be uniquely matched. Call get_app_state again");
}

}  // namespace cuh
