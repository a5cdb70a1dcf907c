#include "platform/quartz/background_input.h"

#include <variant>
#include <vector>

#include "platform/quartz/input_events.h"

namespace cuh::quartz {

using platform::InputOutcome;

QuartzBackgroundInput::QuartzBackgroundInput(Host& host, MouseEventNumbers& mouseEventNumbers)
    : host_(host), mouseEventNumbers_(mouseEventNumbers) {}

InputOutcome QuartzBackgroundInput::send(int32_t pid,
                                         uint32_t windowID,
                                         const platform::PlaceGesture& place) {
  std::optional<platform::PlacedGesture> placed = place();
  if (!placed)
    return InputOutcome::notPlaced;
  const platform::Rect& frame = placed->windowFrame;
  if (const auto* click = std::get_if<platform::Click>(&placed->gesture))
    return sendClick(pid, windowID, frame, *click);
  if (const auto* drag = std::get_if<platform::Drag>(&placed->gesture))
    return sendDrag(pid, windowID, frame, *drag);
  if (const auto* scroll = std::get_if<platform::Scroll>(&placed->gesture))
    return sendScroll(pid, windowID, frame, *scroll);
  return sendKeystroke(pid, std::get<platform::Keystroke>(placed->gesture));
}

// Both halves of a click are built before its down is posted, so that a
// failure never leaves the button held down in the target. Each click
// reads the uptime anew and stamps itself 0.08 s after the previous one.
InputOutcome QuartzBackgroundInput::sendClick(int32_t pid,
                                              uint32_t windowID,
                                              const platform::Rect& frame,
                                              const platform::Click& click) {
  Events& events = host_.events;
  platform::MainLoop& loop = host_.platform.mainLoop();
  ClickButton button = clickButton(click.button);
  ClickHalf half;
  half.screen = click.point;
  half.windowLocation = {click.point.x - frame.minX(), click.point.y - frame.minY()};
  half.windowID = windowID;
  half.buttonNumber = button.buttonNumber;
  for (int64_t k = 1; k <= click.clickCount; ++k) {
    int64_t n = mouseEventNumbers_.reserve();
    double t =
        host_.platform.process().systemUptime() + static_cast<double>(k - 1) * kClickTimestampStep;
    half.clickState = k;

    half.type = button.downType;
    half.timestamp = t;
    half.eventNumber = n;
    half.pressure = 1.0F;
    Event down = buildClickEvent(events, half);
    half.type = button.upType;
    half.timestamp = t + kClickDownUpPause;
    half.eventNumber = n + 1;
    half.pressure = 0.0F;
    Event up = buildClickEvent(events, half);
    if (!down || !up)
      return InputOutcome::eventNotCreated;

    events.postToPid(pid, down);
    loop.sleep(kClickDownUpPause);
    events.postToPid(pid, up);
    if (k < click.clickCount)
      loop.sleep(kClickInterClickPause);
  }
  return InputOutcome::sent;
}

InputOutcome QuartzBackgroundInput::sendDrag(int32_t pid,
                                             uint32_t windowID,
                                             const platform::Rect& frame,
                                             const platform::Drag& drag) {
  Events& events = host_.events;
  EventSource source = events.createEventSource(kCGEventSourceStatePrivate);
  if (!source || drag.path.empty())
    return InputOutcome::eventNotCreated;
  // Every event is built before the first is posted: a failure part-way
  // would otherwise leave the button held down in the target.
  std::vector<Event> built = buildDragEvents(events, source, drag.path, frame, windowID);
  if (built.empty())
    return InputOutcome::eventNotCreated;
  for (const Event& event : built)
    events.postToPid(pid, event);
  return InputOutcome::sent;
}

InputOutcome QuartzBackgroundInput::sendScroll(int32_t pid,
                                               uint32_t windowID,
                                               const platform::Rect& frame,
                                               const platform::Scroll& scroll) {
  Events& events = host_.events;
  EventSource source = events.createEventSource(kCGEventSourceStatePrivate);
  Event wheel =
      source ? buildWheelEvent(events, source, scroll.unit, scroll.dx, scroll.dy, scroll.point,
                               {scroll.point.x - frame.minX(), scroll.point.y - frame.minY()},
                               windowID)
             : nullptr;
  if (!wheel)
    return InputOutcome::eventNotCreated;
  events.postToPid(pid, wheel);
  return InputOutcome::sent;
}

// Every event of the keystroke is built before any is posted, so that a
// creation failure posts nothing.
InputOutcome QuartzBackgroundInput::sendKeystroke(int32_t pid,
                                                  const platform::Keystroke& keystroke) {
  InputOutcome outcome = InputOutcome::sent;
  std::vector<Event> built =
      buildKeystroke(host_.events, keystroke.keyCode, keystroke.flags, outcome);
  if (outcome != InputOutcome::sent)
    return outcome;
  for (const Event& event : built)
    host_.events.postToPid(pid, event);
  return InputOutcome::sent;
}

}  // namespace cuh::quartz
