#include "input/drag.h"

#include <vector>

#include "input/input_pipeline.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"

namespace cuh {

namespace {

platform::Point onScreen(platform::Point relative, const platform::Rect& frame) {
  return {relative.x + frame.minX(), relative.y + frame.minY()};
}

}  // namespace

std::vector<platform::Point> dragPath(platform::Point start, platform::Point end) {
  std::vector<platform::Point> path;
  path.reserve(kDragSteps + 1);
  path.push_back(start);
  for (int k = 1; k <= kDragSteps; ++k) {
    // The last step is E itself, not S + (E − S), which may differ from E in
    // its last bit.
    path.push_back(k == kDragSteps ? end
                                   : platform::Point{start.x + (end.x - start.x) * k / kDragSteps,
                                                     start.y + (end.y - start.y) * k / kDragSteps});
  }
  return path;
}

void startDrag(platform::Platform& platform,
               ForegroundGuard& guard,
               const Json& params,
               Reply reply) {
  int32_t pid = requiredPid(params, "pid");
  uint32_t windowID = requiredWindowId(params, "windowId");
  platform::Point from{requiredDouble(params, "fromX"), requiredDouble(params, "fromY")};
  platform::Point to{requiredDouble(params, "toX"), requiredDouble(params, "toY")};
  double width = requiredDouble(params, "width");
  double height = requiredDouble(params, "height");

  InputMessages messages = inputMessages("drag", "Could not create targeted macOS drag events");
  InputTarget target = validateInputTarget(
      platform, pid, windowID, platform::Size{width, height},
      [from, to](const platform::Rect& frame) {
        if (!frame.contains(onScreen(from, frame)) || !frame.contains(onScreen(to, frame))) {
          throw HelperFailure("The requested drag no longer fits inside the observed macOS window");
        }
      },
      messages);
  if (!hitElementInWindow(platform, pid, onScreen(from, target.frame), target.window))
    throw HelperFailure("The drag start no longer belongs to the observed macOS window");
  target.foreground = requireForegroundSnapshot(platform);

  PlaceStep place = [&platform, pid, from, to](const WindowNow& now) {
    // The end is not tested against the frame again; only the start is hit
    // tested anew.
    platform::Point startNow = onScreen(from, now.frame);
    platform::Point endNow = onScreen(to, now.frame);
    if (!hitElementInWindow(platform, pid, startNow, now.window)) {
      throw HelperFailure("The drag start changed before input was sent. Call get_app_state again");
    }
    SendPlan send;
    send.gesture = platform::Drag{dragPath(startNow, endNow)};
    send.resultAfterVerification = [](int64_t) {
      return Json{{"delivery", "deliveredUnverified"}};
    };
    return send;
  };

  postWhenReady(platform, guard, std::move(reply), std::move(target), std::move(messages),
                /*requireInternallyFocused=*/true, std::move(place));
}

}  // namespace cuh
