#include "accessibility/element_action_validation.h"

#include <cmath>

#include "accessibility/element_expectation.h"
#include "accessibility/element_resolution.h"
#include "platform/ax_names.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"
#include "windows/canonical_text.h"
#include "windows/exact_window.h"
#include "windows/listed_window.h"

namespace cuh {

ElementActionContext validateElementAction(platform::Platform& platform,
                                           ForegroundGuard& guard,
                                           const Json& params) {
  ElementActionContext context(platform, guard, params);

  // The common parameters, in this order.
  context.pid = requiredPid(params, "pid");
  context.windowID = requiredWindowId(params, "windowId");
  const double width = requiredDouble(params, "width");
  const double height = requiredDouble(params, "height");
  context.operation = requiredString(params, "operation");

  // The window is still listed, with a frame of the observed size.
  ListedWindow listed = checkObservedWindow(platform, context.pid, context.windowID, width, height,
                                            kObservedWindowMessages);
  context.windowFrame = listed.frame;

  // The target application runs.
  context.application = platform.workspace().runningApplicationWithProcessIdentifier(context.pid);
  if (!context.application || context.application->isTerminated())
    throw HelperFailure("The target macOS app is no longer running");

  // The exact window element and the application element.
  context.window = exactWindow(platform, context.pid, context.windowID, listed.row);
  context.applicationElement = context.ax().createApplication(context.pid);

  // The user's foreground window.
  auto frontmost = platform.workspace().frontmostApplication();
  if (!frontmost) {
    throw HelperFailure(
        "Could not identify the foreground macOS app; no background input was sent");
  }
  const int32_t frontPid = frontmost->processIdentifier();
  context.foreground =
      platform::ForegroundSnapshot{frontPid, platform::frontmostWindowID(platform, frontPid)};

  // Pressing or performing an action in a window of the frontmost
  // application that is not its front window would act behind the user's
  // back in the app they are using.
  if ((context.operation == kActivateButton || context.operation == kPerformAction) &&
      context.foreground.pid == context.pid && context.foreground.windowID != context.windowID) {
    throw HelperFailure(
        "Another window of the target app is currently focused; the accessibility action was not "
        "sent");
  }

  // Focusing an element of a window that is not the application's
  // focused window would move the application's focus to it.
  if (context.operation == kFocusEditable) {
    auto focused = platform::elementAttribute(context.ax(), context.applicationElement,
                                              ax::kFocusedWindowAttribute);
    if (!focused || !focused->isEqual(context.window)) {
      throw HelperFailure(
          "The exact target is not the app's internally active window, so macOS cannot safely "
          "focus it in the background. Use set_value or target the app's active window");
    }
  }

  // The semantic guard, armed and checked before any change.
  context.controller = guard.armSemanticGuard(context.pid, context.windowID, context.foreground);
  guard.verifySemanticGuard(context.controller, context.foreground,
                            /*mutationMayHaveCompleted=*/false);
  return context;
}

platform::AXElement resolveActionElement(const ElementActionContext& context) {
  ElementExpectation expected(requiredDictionary(context.params, "element"));
  const bool strictValue = context.operation == kSetValue || context.operation == kSelectText ||
                           context.operation == kFocusEditable;
  return resolveExpectedElement(context.ax(), context.window, context.windowFrame, expected,
                                /*requireDurableIdentity=*/true, strictValue);
}

void settle(const ElementActionContext& context) {
  context.platform.mainLoop().runFor(kSettleSeconds);
}

bool readBackValue(const ElementActionContext& context,
                   const platform::AXElement& element,
                   const std::string& expected) {
  for (int read = 0; read < kReadbackReads; ++read) {
    if (canonicallyEqual(stringAttribute(context.ax(), element, ax::kValueAttribute), expected))
      return true;
    context.platform.mainLoop().runFor(kReadbackWaitSeconds);
  }
  return false;
}

Json completeElementAction(const ElementActionContext& context) {
  auto current = context.platform.workspace().runningApplicationWithProcessIdentifier(context.pid);
  if (context.application->isTerminated() || !current || !current->isEqual(*context.application)) {
    throw HelperFailure(
        "The target macOS app changed during the accessibility action; the outcome is ambiguous "
        "and cannot be safely retried");
  }
  context.guard.verifySemanticGuard(context.controller, context.foreground,
                                    /*mutationMayHaveCompleted=*/true);
  return Json{{"delivery", "verified"}};
}

}  // namespace cuh
