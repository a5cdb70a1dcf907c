#include "input/scroll.h"

#include <limits>
#include <string>

#include "accessibility/page_scroll.h"
#include "input/input_pipeline.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"

namespace cuh {

namespace {

// A wheel amount: a signed 32-bit integer whose negation (the wheel's sign
// convention) still fits, so INT32_MIN is refused too.
int32_t requiredWheelAmount(const Json& params, const char* key) {
  int64_t value = requiredInt(params, key);
  if (value <= std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    throwParameterOutOfRange(key);
  return static_cast<int32_t>(value);
}

// "semanticFirst": a JSON boolean or number whose boolean value is true.
bool semanticFirstRequested(const Json& params) {
  std::optional<double> value = optionalNumber(params, "semanticFirst");
  return value && *value != 0;
}

// The page-scroll action: from "direction" when it names one, otherwise from
// the signs of the amounts.
std::string_view chosenPageAction(const Json& params, int32_t dx, int32_t dy) {
  if (auto action = pageScrollAction(optionalString(params, "direction")))
    return *action;
  if (dy > 0)
    return ax::kScrollDownByPageAction;
  if (dy < 0)
    return ax::kScrollUpByPageAction;
  return dx > 0 ? ax::kScrollRightByPageAction : ax::kScrollLeftByPageAction;
}

// The accessibility page scroll under the semantic guard. False when no
// element from the hit element up to the window offers the action; nothing
// has been changed then. Throws on every failure.
bool tryPageScroll(platform::Platform& platform,
                   ForegroundGuard& guard,
                   const Json& params,
                   const InputTarget& target,
                   const platform::AXElement& hit,
                   int32_t dx,
                   int32_t dy) {
  platform::Accessibility& ax = platform.accessibility();
  std::string_view action = chosenPageAction(params, dx, dy);
  std::optional<platform::AXElement> scrollTarget =
      pageScrollTarget(ax, hit, target.window, action);
  if (!scrollTarget)
    return false;

  platform::GuardedTargetRef controller =
      guard.armSemanticGuard(target.pid, target.windowID, target.foreground);
  guard.verifySemanticGuard(controller, target.foreground, /*mutationMayHaveCompleted=*/false);
  int64_t pages = pageScrollCount(params);
  for (int64_t page = 0; page < pages; ++page) {
    if (ax.performAction(*scrollTarget, action) != platform::AXError::success) {
      throw HelperFailure(
          "The accessible scroll action may have completed and cannot be safely retried");
    }
  }
  platform::RunningApplicationRef current =
      platform.workspace().runningApplicationWithProcessIdentifier(target.pid);
  if (target.application->isTerminated() || !current || !current->isEqual(*target.application)) {
    throw HelperFailure(
        "The target macOS app changed during scrolling; the outcome is ambiguous and cannot be "
        "safely retried");
  }
  guard.verifySemanticGuard(controller, target.foreground, /*mutationMayHaveCompleted=*/true);
  return true;
}

}  // namespace

void startScroll(platform::Platform& platform,
                 ForegroundGuard& guard,
                 const Json& params,
                 Reply reply) {
  int32_t pid = requiredPid(params, "pid");
  uint32_t windowID = requiredWindowId(params, "windowId");
  platform::Point relative{requiredDouble(params, "x"), requiredDouble(params, "y")};
  int32_t dx = requiredWheelAmount(params, "dx");
  int32_t dy = requiredWheelAmount(params, "dy");
  double width = requiredDouble(params, "width");
  double height = requiredDouble(params, "height");

  InputMessages messages =
      inputMessages("scroll", "Could not create the targeted macOS scroll event");
  InputTarget target = validateInputTarget(
      platform, pid, windowID, platform::Size{width, height},
      [relative](const platform::Rect& frame) {
        if (!frame.contains({relative.x + frame.minX(), relative.y + frame.minY()}))
          throw HelperFailure("The requested scroll point is outside the observed macOS window");
      },
      messages);
  platform::Point point{relative.x + target.frame.minX(), relative.y + target.frame.minY()};
  std::optional<platform::AXElement> hit = hitElementInWindow(platform, pid, point, target.window);
  if (!hit)
    throw HelperFailure("The scroll point no longer belongs to the observed macOS window");
  target.foreground = requireForegroundSnapshot(platform);

  if (semanticFirstRequested(params) &&
      tryPageScroll(platform, guard, params, target, *hit, dx, dy)) {
    reply.succeed(Json{{"delivery", "verified"}, {"semantic", true}});
    return;
  }

  PlaceStep place = [&platform, pid, relative, dx, dy](const WindowNow& now) {
    platform::Point pointNow{relative.x + now.frame.minX(), relative.y + now.frame.minY()};
    if (!hitElementInWindow(platform, pid, pointNow, now.window)) {
      throw HelperFailure(
          "The scroll point changed before input was sent. Call get_app_state again");
    }
    SendPlan send;
    send.gesture = platform::Scroll{platform::ScrollUnit::pixel, dx, dy, pointNow};
    send.resultAfterVerification = [](int64_t) {
      return Json{{"delivery", "deliveredUnverified"}};
    };
    return send;
  };

  postWhenReady(platform, guard, std::move(reply), std::move(target), std::move(messages),
                /*requireInternallyFocused=*/true, std::move(place));
}

}  // namespace cuh
