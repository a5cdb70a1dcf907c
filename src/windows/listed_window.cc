#include "windows/listed_window.h"

#include <cmath>
#include <optional>

#include "platform/window_rows.h"
#include "protocol/helper_failure.h"

namespace cuh {

bool withinFrameTolerance(double a, double b) {
  // Written so that a NaN difference fails.
  return std::fabs(a - b) <= kFrameTolerance;
}

ListedWindow findListedWindow(platform::Platform& platform,
                              int32_t pid,
                              uint32_t windowID,
                              const char* disappeared) {
  std::optional<platform::Value> row = platform::windowRow(platform, pid, windowID);
  std::optional<platform::Rect> frame = row ? platform::rowBounds(*row) : std::nullopt;
  if (!frame)
    throw HelperFailure(disappeared);
  return ListedWindow{std::move(*row), *frame};
}

ListedWindow checkObservedWindow(platform::Platform& platform,
                                 int32_t pid,
                                 uint32_t windowID,
                                 double width,
                                 double height,
                                 const ObservedWindowMessages& messages) {
  ListedWindow listed = findListedWindow(platform, pid, windowID, messages.disappeared);
  if (!withinFrameTolerance(listed.frame.width(), width) ||
      !withinFrameTolerance(listed.frame.height(), height)) {
    throw HelperFailure(messages.resized);
  }
  return listed;
}

}  // namespace cuh
