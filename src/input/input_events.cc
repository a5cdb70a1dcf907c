#include "input/input_events.h"

namespace cuh {

ClickButton clickButton(bool right) {
  if (right)
    return {platform::kCGEventRightMouseDown, platform::kCGEventRightMouseUp,
            platform::kCGMouseButtonRight};
  return {platform::kCGEventLeftMouseDown, platform::kCGEventLeftMouseUp,
          platform::kCGMouseButtonLeft};
}

platform::Event buildClickEvent(platform::Events& events, const ClickEventSpec& spec) {
  platform::MouseEventParams params;
  params.type = spec.type;
  params.location = spec.screen;
  params.modifierFlags = 0;
  params.timestamp = spec.timestamp;
  params.windowNumber = spec.windowID;
  params.eventNumber = spec.eventNumber;
  params.clickCount = spec.clickState;
  params.pressure = spec.pressure;
  platform::Event event = events.createMouseEventObject(params);
  if (!event)
    return nullptr;
  event->setLocation(spec.screen);
  event->setIntegerValueField(platform::kCGMouseEventNumber, spec.eventNumber);
  event->setIntegerValueField(platform::kCGMouseEventClickState, spec.clickState);
  event->setIntegerValueField(platform::kCGMouseEventButtonNumber, spec.buttonNumber);
  event->setIntegerValueField(platform::kCGMouseEventSubtype, 0);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointer, spec.windowID);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent,
                              spec.windowID);
  event->setWindowLocation(spec.windowLocation);
  return event;
}

std::vector<DragStep> dragPlan(platform::Point start, platform::Point end) {
  std::vector<DragStep> plan;
  plan.reserve(kDragSteps + 2);
  plan.push_back({platform::kCGEventLeftMouseDown, start});
  for (int k = 1; k <= kDragSteps; ++k) {
    // The last step is E itself, not S + (E − S), which may differ from E in
    // its last bit.
    platform::Point point = k == kDragSteps
                                ? end
                                : platform::Point{start.x + (end.x - start.x) * k / kDragSteps,
                                                  start.y + (end.y - start.y) * k / kDragSteps};
    plan.push_back({platform::kCGEventLeftMouseDragged, point});
  }
  plan.push_back({platform::kCGEventLeftMouseUp, end});
  return plan;
}

platform::Event buildWheelEvent(platform::Events& events,
                                const platform::EventSource& source,
                                int32_t dx,
                                int32_t dy,
                                platform::Point screen,
                                platform::Point windowLocation,
                                uint32_t windowID) {
  platform::Event event =
      events.createScrollWheelEvent2(source, platform::kCGScrollEventUnitPixel, 2, -dy, -dx, 0);
  if (!event)
    return nullptr;
  event->setLocation(screen);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointer, windowID);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent,
                              windowID);
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

}  // namespace cuh
