#include "accessibility/resolve_element_request.h"

#include "accessibility/element_expectation.h"
#include "accessibility/element_resolution.h"
#include "accessibility/observed_window.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

Json resolveElementRequest(platform::Platform& platform, const Json& params) {
  ObservedWindowParams observed = readObservedWindowParams(params);
  ElementExpectation expected(requiredDictionary(params, "element"));
  ObservedWindow window = findObservedWindow(platform, observed);

  platform::Accessibility& ax = platform.accessibility();
  platform::AXElement element =
      resolveExpectedElement(ax, window.element, window.frame, expected,
                             /*requireDurableIdentity=*/false, /*strictValue=*/false);

  auto frame = rect(ax, element);
  if (!frame || !(frame->width() > 0) || !(frame->height() > 0)) {
    throw HelperFailure(
        "The indexed accessibility element no longer has actionable bounds. Call get_app_state "
        "again");
  }
  platform::Point centre{frame->midX(), frame->midY()};
  if (!window.frame.contains(centre)) {
    throw HelperFailure(
        "The indexed accessibility element moved outside the target window. Call get_app_state "
        "again");
  }
  return Json{
      {"targetX", centre.x - window.frame.minX()},
      {"targetY", centre.y - window.frame.minY()},
      {"windowX", window.frame.minX()},
      {"windowY", window.frame.minY()},
      {"windowWidth", window.frame.width()},
      {"windowHeight", window.frame.height()},
  };
}

}  // namespace cuh
