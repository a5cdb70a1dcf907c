#include "accessibility/observed_window.h"

#include <cmath>

#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/exact_window.h"

namespace cuh {

ObservedWindowParams readObservedWindowParams(const Json& params) {
  ObservedWindowParams result;
  result.pid = requiredPid(params, "pid");
  result.windowID = requiredWindowId(params, "windowId");
  result.width = requiredDouble(params, "width");
  result.height = requiredDouble(params, "height");
  return result;
}

ObservedWindow findObservedWindow(platform::Platform& platform,
                                  const ObservedWindowParams& params) {
  auto row = platform::windowRow(platform, params.pid, params.windowID);
  auto frame = row ? bounds(*row) : std::nullopt;
  if (!frame) {
    throw HelperFailure("The observed macOS window disappeared. Call get_app_state again");
  }
  // Written so that a NaN difference (an unusable frame) fails too.
  if (!(std::abs(frame->width() - params.width) <= kObservedSizeTolerance) ||
      !(std::abs(frame->height() - params.height) <= kObservedSizeTolerance)) {
    throw HelperFailure("The observed macOS window resized. Call get_app_state again");
  }
  platform::AXElement element = exactWindow(platform, params.pid, params.windowID, *row);
  return ObservedWindow{std::move(*row), *frame, std::move(element)};
}

}  // namespace cuh
