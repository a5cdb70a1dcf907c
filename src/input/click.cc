#include "input/click.h"

#include "accessibility/element_expectation.h"
#include "accessibility/element_relations.h"
#include "accessibility/element_resolution.h"
#include "input/input_pipeline.h"
#include "platform/attribute_reads.h"
#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

namespace {

const char kNoActionableBounds[] =
    "The indexed accessibility element no longer has actionable bounds. Call get_app_state again";

// The centre of the element the expectation names now, in screen points.
platform::Point resolvedCentre(platform::Accessibility& ax,
                               const platform::AXElement& window,
                               const platform::Rect& frame,
                               const ElementExpectation& expected) {
  platform::AXElement element =
      resolveExpectedElement(ax, window, frame, expected, /*requireDurableIdentity=*/false,
                             /*strictValue=*/false);
  std::optional<platform::Rect> elementFrame = rect(ax, element);
  if (!elementFrame)
    throw HelperFailure(kNoActionableBounds);
  return {elementFrame->midX(), elementFrame->midY()};
}

// What the posting step needs from validation.
struct ClickPlan {
  int32_t pid;
  platform::Point relativePoint;
  std::optional<ElementExpectation> expected;
  platform::MouseButton button;
  int64_t clickCount;
};

// The screen centre of the editable element holding keyboard focus in the
// window, when there is one.
std::optional<platform::Point> focusedEditableCentre(platform::Platform& platform,
                                                     int32_t pid,
                                                     const platform::AXElement& window) {
  platform::Accessibility& ax = platform.accessibility();
  auto focused =
      platform::elementAttribute(ax, ax.createApplication(pid), ax::kFocusedUIElementAttribute);
  if (!focused)
    return std::nullopt;
  auto editable = editableAncestor(ax, *focused);
  if (!editable || !belongsToWindow(ax, *editable, window))
    return std::nullopt;
  auto frame = rect(ax, *editable);
  if (!frame)
    return std::nullopt;
  return platform::Point{frame->midX(), frame->midY()};
}

}  // namespace

void startClick(platform::Platform& platform,
                ForegroundGuard& guard,
                const Json& params,
                Reply reply) {
  int32_t pid = requiredPid(params, "pid");
  uint32_t windowID = requiredWindowId(params, "windowId");
  double x = requiredDouble(params, "x");
  double y = requiredDouble(params, "y");
  double width = requiredDouble(params, "width");
  double height = requiredDouble(params, "height");
  std::string button = requiredString(params, "button");
  int64_t clickCount = requiredInt(params, "clickCount");

  if ((button != "left" && button != "right") || clickCount < 1 || clickCount > 3)
    throw HelperFailure("Invalid macOS click request");

  InputMessages messages =
      inputMessages("click", "Could not create the targeted macOS mouse event");
  InputTarget target = validateInputTarget(platform, pid, windowID, platform::Size{width, height},
                                           nullptr, messages);
  const platform::Rect& frame = target.frame;

  std::optional<ElementExpectation> expected;
  platform::Point relative{x, y};
  if (auto element = params.find("element"); element != params.end() && element->is_object()) {
    expected.emplace(*element);
    platform::Point centre =
        resolvedCentre(platform.accessibility(), target.window, frame, *expected);
    relative = {centre.x - frame.minX(), centre.y - frame.minY()};
  }
  // Written so that NaN fails.
  if (!(relative.x >= 0 && relative.x < frame.width() && relative.y >= 0 &&
        relative.y < frame.height())) {
    throw HelperFailure("The requested click point is outside the observed macOS window");
  }
  target.foreground = requireForegroundSnapshot(platform);
  ClickPlan plan{pid, relative, std::move(expected),
                 button == "right" ? platform::MouseButton::right : platform::MouseButton::left,
                 clickCount};

  PlaceStep place = [&platform, plan = std::move(plan)](const WindowNow& now) {
    platform::Point screen =
        plan.expected
            ? resolvedCentre(platform.accessibility(), now.window, now.frame, *plan.expected)
            : platform::Point{plan.relativePoint.x + now.frame.minX(),
                              plan.relativePoint.y + now.frame.minY()};
    if (!now.frame.contains(screen)) {
      throw HelperFailure(
          "The click target moved outside the observed macOS window. Call get_app_state again");
    }
    platform::Point windowLocation{screen.x - now.frame.minX(), screen.y - now.frame.minY()};

    SendPlan send;
    send.gesture = platform::Click{plan.button, plan.clickCount, screen};
    send.resultAfterVerification = [&platform, pid = plan.pid, clickCount = plan.clickCount,
                                    windowLocation, now](int64_t postedAtMs) {
      Json result{
          {"sentClickCount", clickCount},       {"delivery", "deliveredUnverified"},
          {"eventPostedAtMs", postedAtMs},      {"targetX", windowLocation.x},
          {"targetY", windowLocation.y},        {"windowX", now.frame.minX()},
          {"windowY", now.frame.minY()},        {"windowWidth", now.frame.width()},
          {"windowHeight", now.frame.height()},
      };
      if (auto focused = focusedEditableCentre(platform, pid, now.window)) {
        result["focusedX"] = focused->x;
        result["focusedY"] = focused->y;
      }
      return result;
    };
    return send;
  };

  postWhenReady(platform, guard, std::move(reply), std::move(target), std::move(messages),
                /*requireInternallyFocused=*/true, std::move(place));
}

}  // namespace cuh
