#include "guard/request_state.h"

namespace cuh {

namespace {

bool mayRestore(const FocusController& controller,
                const std::optional<platform::ForegroundSnapshot>& foreground) {
  const FocusContext& context = controller.context();
  return controller.targetsCurrentProcess() && controller.targetApp && controller.targetWindow &&
         foreground && controller.windowID != 0 && foreground->pid != context.controlledPID &&
         foreground->pid == context.foregroundPID &&
         foreground->windowID == context.foregroundWindowID && !context.userIntervened;
}

platform::Value elementValue(const platform::AXElement& element) {
  return platform::Value(platform::Value::Storage(element));
}

}  // namespace

void restoreRequestState(platform::Platform& platform,
                         FocusController& controller,
                         const std::optional<platform::ForegroundSnapshot>& foreground) {
  if (mayRestore(controller, foreground)) {
    platform::OtherEventParams params;
    params.type = platform::NSEventTypeAppKitDefined;
    params.location = {0, 0};
    params.modifierFlags = 0;
    params.timestamp = platform.process().systemUptime();
    params.windowNumber = controller.windowID;
    params.subtype = platform::NSEventSubtypeApplicationDeactivated;
    if (platform::Event deactivated = platform.events().createOtherEvent(params)) {
      platform.events().postToPid(controller.context().controlledPID, deactivated);
    }

    auto& ax = platform.accessibility();
    if (controller.originalFocusedWindow) {
      ax.setAttributeValue(controller.targetApp, "AXFocusedWindow",
                           elementValue(controller.originalFocusedWindow));
    }
    if (controller.originalFocusedUIElement) {
      platform::AXError error =
          ax.setAttributeValue(controller.targetApp, "AXFocusedUIElement",
                               elementValue(controller.originalFocusedUIElement));
      if (error != platform::AXError::success) {
        ax.setAttributeValue(controller.originalFocusedUIElement, "AXFocused",
                             platform::Value::boolean(true));
      }
    }
    if (controller.originalTargetWindowFocused) {
      ax.setAttributeValue(controller.targetWindow, "AXFocused",
                           platform::Value::boolean(*controller.originalTargetWindowFocused));
    }
  }
  clearRequestState(controller);
}

void clearRequestState(FocusController& controller) {
  controller.targetApp = {};
  controller.targetWindow = {};
  controller.originalFocusedWindow = {};
  controller.originalFocusedUIElement = {};
  controller.originalTargetWindowFocused.reset();
  controller.windowID = 0;

  FocusContext& context = controller.context();
  context.protecting = false;
  context.foregroundPID = 0;
  context.foregroundWindowID = 0;
  context.expectedWindowID = 0;
  context.expectedStateMarker = 0;
  context.sawSyntheticActivation = false;
  context.semanticGuardActive = false;
  context.userIntervened = false;
}

}  // namespace cuh
