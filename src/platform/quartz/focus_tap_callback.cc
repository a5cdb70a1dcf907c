#include "platform/quartz/focus_tap_callback.h"

#include "platform/quartz/focus_controller.h"

namespace cuh::quartz {

namespace {

struct EventFacts {
  int64_t sourcePID;
  int64_t targetPID;
  bool fromHelper;
  bool fromTarget;
};

EventFacts factsOf(const FocusContext& context, const Event& event) {
  EventFacts facts{};
  facts.sourcePID = event->integerValueField(kCGEventSourceUnixProcessID);
  facts.targetPID = event->integerValueField(kCGEventTargetUnixProcessID);
  facts.fromHelper = facts.sourcePID == context.helperPID;
  facts.fromTarget = facts.sourcePID == context.controlledPID;
  return facts;
}

void intervene(FocusContext& context) {
  context.userIntervened = true;
  context.protecting = false;
}

bool isUserInputType(uint32_t type) {
  return type == kCGEventLeftMouseDown || type == kCGEventRightMouseDown ||
         type == kCGEventKeyDown || type == kCGEventScrollWheel || type == kCGEventOtherMouseDown;
}

Event activationCheck(FocusContext& context, const Event& event) {
  EventFacts facts = factsOf(context, event);
  auto view = event->appKitView();

  // The system's own activation of the target window, carrying this
  // request's marker. The window list is read last: it is the costly part.
  if (view && view->windowNumber == static_cast<int64_t>(context.expectedWindowID) &&
      view->subtype == NSEventSubtypeApplicationActivated && facts.fromHelper &&
      context.expectedStateMarker != 0 &&
      event->integerValueField(kCGEventSourceUserData) == context.expectedStateMarker &&
      protectedForegroundMatches(context)) {
    context.sawSyntheticActivation = true;
    return event;
  }

  if (context.semanticGuardActive && context.protecting) {
    if (!view)
      return event;
    if (view->subtype != NSEventSubtypeApplicationActivated || facts.fromHelper) {
      return event;
    }
    // An activation the helper did not post. The target may not bring itself
    // forward while the user's window is in front; anything else means the
    // user moved on.
    if (facts.fromTarget && !context.userIntervened && protectedForegroundMatches(context)) {
      return nullptr;
    }
    intervene(context);
    return event;
  }
  return event;
}

Event windowStateCheck(FocusContext& context, const Event& event) {
  if (context.foregroundPID <= 0)
    return event;
  EventFacts facts = factsOf(context, event);
  auto view = event->appKitView();

  // Synthetic-state mode: the target's own window-state event for the
  // expected window is expected while the user's window stays in front.
  if (!context.semanticGuardActive && facts.fromTarget && view &&
      view->windowNumber == static_cast<int64_t>(context.expectedWindowID)) {
    if (protectedForegroundMatches(context))
      return event;
    intervene(context);
    return nullptr;
  }

  if (facts.fromHelper)
    return event;

  if (facts.targetPID == context.controlledPID ||
      (facts.fromTarget && context.semanticGuardActive)) {
    if (!protectedForegroundMatches(context)) {
      intervene(context);
      return nullptr;
    }
    if (context.foregroundWindowID == 0)
      return nullptr;
    // Divert the window-state change to the user's foreground window.
    if (view) {
      Host& host = *context.host;
      OtherEventParams params;
      params.type = kEventTypeWindowState;
      params.location = {0, 0};
      params.modifierFlags = view->modifierFlags;
      params.timestamp = host.platform.process().systemUptime();
      params.windowNumber = context.foregroundWindowID;
      params.subtype = view->subtype;
      if (Event replacement = host.events.createOtherEvent(params)) {
        host.events.postToPid(context.foregroundPID, replacement);
      }
    }
    return nullptr;
  }
  return event;
}

Event decide(uint32_t type, const Event& event, void* userInfo) {
  if (!userInfo)
    return event;
  auto& context = *static_cast<FocusContext*>(userInfo);

  if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
    context.protecting = false;
    context.expectedStateMarker = 0;
    context.sawSyntheticActivation = false;
    if (context.eventTap)
      context.host->events.tapEnable(context.eventTap, true);
    return nullptr;
  }
  if (!event)
    return event;

  if (isUserInputType(type) && context.semanticGuardActive && context.protecting) {
    EventFacts facts = factsOf(context, event);
    if (!facts.fromHelper && !facts.fromTarget)
      intervene(context);
    return event;
  }
  if (type == NSEventTypeAppKitDefined && context.protecting) {
    return activationCheck(context, event);
  }
  if (type == kEventTypeWindowState && context.protecting) {
    return windowStateCheck(context, event);
  }
  return event;
}

}  // namespace

Event focusTapCallback(void* /*proxy*/, uint32_t type, const Event& event, void* userInfo) {
  // Called from the system's C callback, which no exception may leave. A
  // decision that fails lets the event pass as it came: the input is the
  // user's or the target's, never the helper's to lose.
  try {
    return decide(type, event, userInfo);
  } catch (...) {
    return event;
  }
}

}  // namespace cuh::quartz
