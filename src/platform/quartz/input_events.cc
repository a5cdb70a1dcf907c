#include "platform/quartz/input_events.h"

namespace cuh::quartz {

ClickButton clickButton(platform::MouseButton button) {
  if (button == platform::MouseButton::right)
    return {kCGEventRightMouseDown, kCGEventRightMouseUp, kCGMouseButtonRight};
  return {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGMouseButtonLeft};
}

Event buildClickEvent(Events& events, const ClickHalf& half) {
  MouseEventParams params;
  params.type = half.type;
  params.location = half.screen;
  params.modifierFlags = 0;
  params.timestamp = half.timestamp;
  params.windowNumber = half.windowID;
  params.eventNumber = half.eventNumber;
  params.clickCount = half.clickState;
  params.pressure = half.pressure;
  Event event = events.createMouseEventObject(params);
  if (!event)
    return nullptr;
  event->setLocation(half.screen);
  event->setIntegerValueField(kCGMouseEventNumber, half.eventNumber);
  event->setIntegerValueField(kCGMouseEventClickState, half.clickState);
  event->setIntegerValueField(kCGMouseEventButtonNumber, half.buttonNumber);
  event->setIntegerValueField(kCGMouseEventSubtype, 0);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointer, half.windowID);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent,
                              half.windowID);
  event->setWindowLocation(half.windowLocation);
  return event;
}

std::vector<Event> buildDragEvents(Events& events,
                                   const EventSource& source,
                                   const std::vector<Point>& path,
                                   const platform::Rect& frame,
                                   uint32_t windowID) {
  struct Step {
    uint32_t type;
    Point screen;
  };
  std::vector<Step> steps;
  steps.reserve(path.size() + 1);
  for (size_t i = 0; i < path.size(); ++i)
    steps.push_back({i == 0 ? kCGEventLeftMouseDown : kCGEventLeftMouseDragged, path[i]});
  steps.push_back({kCGEventLeftMouseUp, path.back()});

  std::vector<Event> built;
  built.reserve(steps.size());
  for (const Step& step : steps) {
    Event event = events.createMouseEvent(source, step.type, step.screen, kCGMouseButtonLeft);
    if (!event)
      return {};
    event->setLocation(step.screen);
    event->setIntegerValueField(kCGMouseEventSubtype, 0);
    event->setIntegerValueField(kCGMouseEventWindowUnderMousePointer, windowID);
    event->setIntegerValueField(kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent,
                                windowID);
    event->setWindowLocation({step.screen.x - frame.minX(), step.screen.y - frame.minY()});
    built.push_back(std::move(event));
  }
  return built;
}

Event buildWheelEvent(Events& events,
                      const EventSource& source,
                      platform::ScrollUnit unit,
                      int32_t dx,
                      int32_t dy,
                      Point screen,
                      Point windowLocation,
                      uint32_t windowID) {
  CGScrollEventUnit units =
      unit == platform::ScrollUnit::line ? kCGScrollEventUnitLine : kCGScrollEventUnitPixel;
  Event event = events.createScrollWheelEvent2(source, units, 2, -dy, -dx, 0);
  if (!event)
    return nullptr;
  event->setLocation(screen);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointer, windowID);
  event->setIntegerValueField(kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent, windowID);
  event->setWindowLocation(windowLocation);
  return event;
}

std::vector<KeyStroke> keyPlan(uint16_t keyCode, uint64_t flags) {
  std::vector<KeyStroke> plan;
  uint64_t held = 0;
  for (const ModifierKey& modifier : kModifierKeys) {
    if ((flags & modifier.flag) == 0)
      continue;
    held |= modifier.flag;
    plan.push_back({modifier.keyCode, true, held, false});
  }
  plan.push_back({keyCode, true, flags, true});
  plan.push_back({keyCode, false, flags, true});
  for (auto it = kModifierKeys.rbegin(); it != kModifierKeys.rend(); ++it) {
    if ((flags & it->flag) == 0)
      continue;
    held &= ~it->flag;
    plan.push_back({it->keyCode, false, held, false});
  }
  return plan;
}

std::vector<Event> buildKeystroke(Events& events,
                                  uint16_t keyCode,
                                  uint64_t flags,
                                  platform::InputOutcome& outcome) {
  EventSource source = events.createEventSource(kCGEventSourceStatePrivate);
  Event keyDown = source ? events.createKeyboardEvent(source, keyCode, true) : nullptr;
  Event keyUp = source ? events.createKeyboardEvent(source, keyCode, false) : nullptr;
  if (!keyDown || !keyUp) {
    outcome = platform::InputOutcome::eventNotCreated;
    return {};
  }
  keyDown->setFlags(flags);
  keyUp->setFlags(flags);

  std::vector<Event> built;
  for (const KeyStroke& stroke : keyPlan(keyCode, flags)) {
    if (stroke.mainKey) {
      built.push_back(stroke.keyDown ? keyDown : keyUp);
      continue;
    }
    Event modifier = events.createKeyboardEvent(source, stroke.keyCode, stroke.keyDown);
    if (!modifier) {
      outcome = platform::InputOutcome::modifierEventNotCreated;
      return {};
    }
    modifier->setFlags(stroke.flags);
    built.push_back(std::move(modifier));
  }
  outcome = platform::InputOutcome::sent;
  return built;
}

}  // namespace cuh::quartz
