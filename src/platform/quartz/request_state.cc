#include "platform/quartz/request_state.h"

#include "platform/ax_names.h"

namespace cuh::quartz {

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

void restoreRequestState(Host& host,
                         FocusController& controller,
                         const std::optional<platform::ForegroundSnapshot>& foreground) {
  if (mayRestore(controller, foreground)) {
    OtherEventParams params;
    params.type = NSEventTypeAppKitDefined;
    params.location = {0, 0};
    params.modifierFlags = 0;
    params.timestamp = host.platform.process().systemUptime();
    params.windowNumber = controller.windowID;
    params.subtype = NSEventSubtypeApplicationDeactivated;
    if (Event deactivated = host.events.createOtherEvent(params)) {
      host.events.postToPid(controller.context().controlledPID, deactivated);
    }

    auto& ax = host.platform.accessibility();
    if (controller.originalFocusedWindow) {
      ax.setAttributeValue(controller.targetApp, ax::kFocusedWindowAttribute,
                           elementValue(controller.originalFocusedWindow));
    }
    if (controller.originalFocusedUIElement) {
      platform::AXError error =
          ax.setAttributeValue(controller.targetApp, ax::kFocusedUIElementAttribute,
                               elementValue(controller.originalFocusedUIElement));
      if (error != platform::AXError::success) {
        ax.setAttributeValue(controller.originalFocusedUIElement, ax::kFocusedAttribute,
                             platform::Value::boolean(true));
      }
    }
    if (controller.originalTargetWindowFocused) {
      ax.setAttributeValue(controller.targetWindow, ax::kFocusedAttribute,
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

}  // namespace cuh::quartz
