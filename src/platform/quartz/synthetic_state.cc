// The synthetic active/key state of a background window: the target's
// window made its focused one through accessibility, then a window-state
// event, an activation event carrying a random marker and a focus click
// outside the window, posted to the target only. The tap confirms the state
// when it sees the marked activation while the user's window is in front.
#include "platform/quartz/synthetic_state.h"

#include <limits>

#include "platform/attribute_reads.h"
#include "platform/ax_names.h"
#include "platform/quartz/foreground_protection.h"

namespace cuh::quartz {

using platform::ProtectionOutcome;

int64_t drawStateMarker(platform::ProcessServices& process) {
  // Masking the sign bit keeps the draw uniform over 0 … 2^63−1; rejecting 0
  // leaves it uniform over the markers.
  for (;;) {
    uint64_t bits = process.random64() & static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (bits != 0)
      return static_cast<int64_t>(bits);
  }
}

namespace {

// One half of the focus click, fully dressed.
Event focusClickEvent(Events& events,
                      uint32_t type,
                      Point screen,
                      double timestamp,
                      uint32_t windowID,
                      int64_t eventNumber,
                      float pressure) {
  MouseEventParams params;
  params.type = type;
  params.location = screen;
  params.modifierFlags = 0;
  params.timestamp = timestamp;
  params.windowNumber = windowID;
  params.eventNumber = eventNumber;
  params.clickCount = 1;
  params.pressure = pressure;
  Event event = events.createMouseEventObject(params);
  if (!event)
    return nullptr;
  event->setLocation(screen);
  event->setIntegerValueField(kCGMouseEventNumber, eventNumber);
  event->setIntegerValueField(kCGMouseEventClickState, 1);
  event->setIntegerValueField(kCGMouseEventButtonNumber, kCGMouseButtonLeft);
  event->setIntegerValueField(kCGMouseEventSubtype, NSEventSubtypeTouch);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointer, windowID);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent, windowID);
  event->setWindowLocation({-kFocusClickOffset, -kFocusClickOffset});
  return event;
}

}  // namespace

bool QuartzForegroundProtection::acceptsPostedInput(int32_t pid,
                                                    const platform::AXElement& window) {
  auto& ax = host_.platform.accessibility();
  auto focused =
      platform::elementAttribute(ax, ax.createApplication(pid), ax::kFocusedWindowAttribute);
  return focused && focused->isEqual(window);
}

ProtectionOutcome QuartzForegroundProtection::establishSyntheticState(
    int32_t pid,
    uint32_t windowID,
    const platform::AXElement& window,
    const platform::Rect& windowBounds,
    const platform::ForegroundSnapshot& foreground) {
  ControllerResult armed = controller(pid, foreground);
  if (!armed.controller)
    return armed.outcome;
  FocusController& focus = *armed.controller;

  auto& ax = host_.platform.accessibility();
  Events& events = host_.events;
  auto& process = host_.platform.process();
  platform::AXElement app = ax.createApplication(pid);

  // Save what this request borrows, so that the end of the request can give
  // it back.
  if (auto focusedWindow = platform::elementAttribute(ax, app, ax::kFocusedWindowAttribute)) {
    focus.originalFocusedWindow = *focusedWindow;
  }
  if (auto focusedElement = platform::elementAttribute(ax, app, ax::kFocusedUIElementAttribute)) {
    focus.originalFocusedUIElement = *focusedElement;
  }
  focus.originalTargetWindowFocused = platform::boolAttribute(ax, window, ax::kFocusedAttribute);
  focus.targetApp = app;
  focus.targetWindow = window;
  focus.windowID = windowID;

  FocusContext& context = focus.context();
  context.expectedWindowID = windowID;
  context.expectedStateMarker = drawStateMarker(process);
  context.sawSyntheticActivation = false;

  if (ax.setAttributeValue(app, ax::kFocusedWindowAttribute,
                           platform::Value(platform::Value::Storage(window))) !=
      platform::AXError::success) {
    return ProtectionOutcome::focusRejected;
  }
  ax.setAttributeValue(window, ax::kFocusedAttribute, platform::Value::boolean(true));

  OtherEventParams windowState;
  windowState.type = kEventTypeWindowState;
  windowState.location = {0, 0};
  windowState.modifierFlags = 0;
  windowState.timestamp = process.systemUptime();
  windowState.windowNumber = windowID;
  windowState.subtype = static_cast<int16_t>(0x8000 - 0x10000);
  Event windowStateEvent = events.createOtherEvent(windowState);
  if (!windowStateEvent)
    return ProtectionOutcome::stateEventNotCreated;
  events.postToPid(pid, windowStateEvent);

  OtherEventParams activation;
  activation.type = NSEventTypeAppKitDefined;
  activation.location = {0, 0};
  activation.modifierFlags = kCGEventFlagMaskControl | kCGEventFlagMaskAlternate;
  activation.timestamp = process.systemUptime();
  activation.windowNumber = windowID;
  activation.subtype = NSEventSubtypeApplicationActivated;
  Event activationEvent = events.createOtherEvent(activation);
  if (!activationEvent)
    return ProtectionOutcome::stateEventNotCreated;
  activationEvent->setIntegerValueField(kCGEventSourceUserData, context.expectedStateMarker);
  events.postToPid(pid, activationEvent);

  // The focus click lands outside the window. Both halves are built before
  // the down is posted, so that a failure never leaves the button held down
  // in the target.
  int64_t n = mouseEventNumbers_.reserve();
  double downTime = process.systemUptime();
  Point screen{windowBounds.minX() - kFocusClickOffset, windowBounds.minY() - kFocusClickOffset};
  Event down = focusClickEvent(events, kCGEventLeftMouseDown, screen, downTime, windowID, n, 1.0F);
  Event up = focusClickEvent(events, kCGEventLeftMouseUp, screen, downTime + kFocusClickPause,
                             windowID, n + 1, 0.0F);
  if (!down || !up)
    return ProtectionOutcome::mouseEventNotCreated;
  events.postToPid(pid, down);
  host_.platform.mainLoop().sleep(kFocusClickPause);
  events.postToPid(pid, up);
  return ProtectionOutcome::done;
}

bool QuartzForegroundProtection::syntheticStateReady(int32_t pid, uint32_t windowID) {
  std::shared_ptr<FocusController> focus = controllerFor(pid);
  if (!focus)
    return false;
  if (!focus->canProtectCurrentProcess())
    return false;
  if (windowID != focus->windowID)
    return false;
  if (!focus->targetApp || !focus->targetWindow)
    return false;
  auto& ax = host_.platform.accessibility();
  auto focused = platform::elementAttribute(ax, focus->targetApp, ax::kFocusedWindowAttribute);
  if (!focused || !focused->isEqual(focus->targetWindow))
    return false;
  const FocusContext& context = focus->context();
  return !context.userIntervened && windowID == context.expectedWindowID &&
         context.sawSyntheticActivation;
}

}  // namespace cuh::quartz
