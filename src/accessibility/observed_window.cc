#include "accessibility/observed_window.h"

#include "protocol/params.h"
#include "windows/exact_window.h"
#include "windows/listed_window.h"

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
  ListedWindow listed = checkObservedWindow(platform, params.pid, params.windowID, params.width,
                                            params.height, kObservedWindowMessages);
  platform::AXElement element = exactWindow(platform, params.pid, params.windowID, listed.row);
  return ObservedWindow{std::move(listed.row), listed.frame, std::move(element)};
}

}  // namespace cuh
