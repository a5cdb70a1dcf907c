#include "input/key.h"

#include <string>
#include <vector>

#include "input/input_pipeline.h"
#include "input/key_focus.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"

namespace cuh {

namespace {

// Command-A is a select-all through accessibility: the key named "a" with
// exactly the Command bit (the key code plays no part).
bool isSelectAllRequest(const std::string& keyName, uint64_t flags) {
  return keyName == "a" && flags == platform::kKeyFlagCommand;
}

}  // namespace

void startKey(platform::Platform& platform,
              ForegroundGuard& guard,
              const Json& params,
              Reply reply) {
  int32_t pid = requiredPid(params, "pid");
  uint32_t windowID = requiredWindowId(params, "windowId");
  platform::Point relative{requiredDouble(params, "x"), requiredDouble(params, "y")};
  double width = requiredDouble(params, "width");
  double height = requiredDouble(params, "height");
  std::string keyName = requiredString(params, "keyName");
  int64_t keyCodeValue = requiredInt(params, "keyCode");
  if (keyCodeValue < 0 || keyCodeValue > 0xFFFF)
    throwParameterOutOfRange("keyCode");
  auto keyCode = static_cast<uint16_t>(keyCodeValue);
  int64_t flagsValue = requiredInt(params, "flags");
  if (flagsValue < 0)
    throwParameterOutOfRange("flags");
  auto flags = static_cast<uint64_t>(flagsValue);

  InputMessages messages = inputMessages("key", "Could not create the targeted macOS key event",
                                         "Could not create the targeted macOS modifier event");
  // One combined test, so a resized window and a point outside it read the
  // same; written so that NaN fails.
  auto sameTarget = [width, height, relative](const platform::Rect& frame) {
    if (!(withinFrameTolerance(frame.width(), width) &&
          withinFrameTolerance(frame.height(), height) && relative.x >= 0 && relative.y >= 0 &&
          relative.x < frame.width() && relative.y < frame.height())) {
      throw HelperFailure("The observed macOS key target changed. Call get_app_state again");
    }
  };
  InputTarget target =
      validateInputTarget(platform, pid, windowID, std::nullopt, sameTarget, messages);
  target.foreground = requireForegroundSnapshot(platform);
  bool selectAllRequest = isSelectAllRequest(keyName, flags);

  PlaceStep place = [&platform, pid, relative, keyCode, flags,
                     selectAllRequest](const WindowNow& now) {
    platform::Accessibility& ax = platform.accessibility();
    // The point is not tested against the frame again.
    platform::Point point{relative.x + now.frame.minX(), relative.y + now.frame.minY()};
    platform::AXElement candidate =
        focusedCandidate(ax, ax.createApplication(pid), now.window, point);
    focusElement(ax, candidate);

    SendPlan send;
    if (selectAllRequest) {
      selectAll(ax, candidate);
      send.completed = Json{{"delivery", "verified"}, {"selectedAll", true}};
      return send;
    }
    send.gesture = platform::Keystroke{keyCode, flags};
    send.resultAfterVerification = [](int64_t) {
      return Json{{"delivery", "deliveredUnverified"}};
    };
    return send;
  };

  postWhenReady(platform, guard, std::move(reply), std::move(target), std::move(messages),
                /*requireInternallyFocused=*/!selectAllRequest, std::move(place));
}

}  // namespace cuh
