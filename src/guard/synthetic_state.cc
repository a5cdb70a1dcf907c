#include "guard/synthetic_state.h"

#include <limits>

#include "guard/foreground_guard.h"
#include "protocol/helper_failure.h"
#include "windows/ax_readers.h"

namespace cuh {

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

const char kNotInternallyActive[] =
    "The exact target is not the app's internally active window, so macOS cannot safely route "
    "background pointer or key input to it. Use an accessibility element action or target the "
    "app's active window";
const char kStateNotCreated[] = "Could not create synthetic macOS window state";
const char kMouseEventNotCreated[] = "Could not create the targeted macOS mouse event";

// One half of the focus click, fully dressed.
platform::Event focusClickEvent(platform::Platform& platform,
                                uint32_t type,
                                platform::Point screen,
                                double timestamp,
                                uint32_t windowID,
                                int64_t eventNumber,
                                float pressure) {
  platform::MouseEventParams params;
  params.type = type;
  params.location = screen;
  params.modifierFlags = 0;
  params.timestamp = timestamp;
  params.windowNumber = windowID;
  params.eventNumber = eventNumber;
  params.clickCount = 1;
  params.pressure = pressure;
  platform::Event event = platform.events().createMouseEventObject(params);
  if (!event)
    return nullptr;
  event->setLocation(screen);
  event->setIntegerValueField(platform::kCGMouseEventNumber, eventNumber);
  event->setIntegerValueField(platform::kCGMouseEventClickState, 1);
  event->setIntegerValueField(platform::kCGMouseEventButtonNumber, platform::kCGMouseButtonLeft);
  event->setIntegerValueField(platform::kCGMouseEventSubtype, platform::NSEventSubtypeTouch);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointer, windowID);
  event->setIntegerValueField(platform::kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent,
                              windowID);
  event->setWindowLocation({-kFocusClickOffset, -kFocusClickOffset});
  return event;
}

}  // namespace

int64_t ForegroundGuard::reserveMouseEventNumbers() {
  int64_t n = nextMouseEventNumber_;
  nextMouseEventNumber_ += 2;
  return n;
}

void ForegroundGuard::requireInternallyFocusedWindow(
    int32_t pid,
    const platform::AXElement& window,
    const platform::ForegroundSnapshot& foreground) {
  if (foreground.pid == pid)
    return;
  auto& ax = platform_.accessibility();
  auto focused = platform::elementAttribute(ax, ax.createApplication(pid), "AXFocusedWindow");
  if (focused && focused->isEqual(window))
    return;
  throw HelperFailure(kNotInternallyActive);
}

void ForegroundGuard::establishSyntheticState(int32_t pid,
                                              uint32_t windowID,
                                              const platform::AXElement& window,
                                              const platform::Rect& windowBounds,
                                              const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return;
  std::shared_ptr<FocusController> focus = controller(pid, foreground);
  if (!focus)
    return;

  auto& ax = platform_.accessibility();
  auto& events = platform_.events();
  auto& process = platform_.process();
  platform::AXElement app = ax.createApplication(pid);

  // Save what this request borrows, so that the end of the request can give
  // it back.
  if (auto focusedWindow = platform::elementAttribute(ax, app, "AXFocusedWindow")) {
    focus->originalFocusedWindow = *focusedWindow;
  }
  if (auto focusedElement = platform::elementAttribute(ax, app, "AXFocusedUIElement")) {
    focus->originalFocusedUIElement = *focusedElement;
  }
  focus->originalTargetWindowFocused = platform::boolAttribute(ax, window, "AXFocused");
  focus->targetApp = app;
  focus->targetWindow = window;
  focus->windowID = windowID;

  FocusContext& context = focus->context();
  context.expectedWindowID = windowID;
  context.expectedStateMarker = drawStateMarker(process);
  context.sawSyntheticActivation = false;

  if (ax.setAttributeValue(app, "AXFocusedWindow",
                           platform::Value(platform::Value::Storage(window))) !=
      platform::AXError::success) {
    throw HelperFailure(
        "The target app rejected synthetic background window focus; no input was sent");
  }
  ax.setAttributeValue(window, "AXFocused", platform::Value::boolean(true));

  platform::OtherEventParams windowState;
  windowState.type = platform::kEventTypeWindowState;
  windowState.location = {0, 0};
  windowState.modifierFlags = 0;
  windowState.timestamp = process.systemUptime();
  windowState.windowNumber = windowID;
  windowState.subtype = static_cast<int16_t>(0x8000 - 0x10000);
  platform::Event windowStateEvent = events.createOtherEvent(windowState);
  if (!windowStateEvent)
    throw HelperFailure(kStateNotCreated);
  events.postToPid(pid, windowStateEvent);

  platform::OtherEventParams activation;
  activation.type = platform::NSEventTypeAppKitDefined;
  activation.location = {0, 0};
  activation.modifierFlags =
      platform::kCGEventFlagMaskControl | platform::kCGEventFlagMaskAlternate;
  activation.timestamp = process.systemUptime();
  activation.windowNumber = windowID;
  activation.subtype = platform::NSEventSubtypeApplicationActivated;
  platform::Event activationEvent = events.createOtherEvent(activation);
  if (!activationEvent)
    throw HelperFailure(kStateNotCreated);
  activationEvent->setIntegerValueField(platform::kCGEventSourceUserData,
                                        context.expectedStateMarker);
  events.postToPid(pid, activationEvent);

  // The focus click lands outside the window. Both halves are built before
  // the down is posted, so that a failure never leaves the button held down
  // in the target.
  int64_t n = reserveMouseEventNumbers();
  double downTime = process.systemUptime();
  platform::Point screen{windowBounds.minX() - kFocusClickOffset,
                         windowBounds.minY() - kFocusClickOffset};
  platform::Event down = focusClickEvent(platform_, platform::kCGEventLeftMouseDown, screen,
                                         downTime, windowID, n, 1.0F);
  platform::Event up = focusClickEvent(platform_, platform::kCGEventLeftMouseUp, screen,
                                       downTime + kFocusClickPause, windowID, n + 1, 0.0F);
  if (!down || !up)
    throw HelperFailure(kMouseEventNotCreated);
  events.postToPid(pid, down);
  platform_.mainLoop().sleep(kFocusClickPause);
  events.postToPid(pid, up);
}

bool ForegroundGuard::syntheticStateReady(int32_t pid,
                                          uint32_t windowID,
                                          const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return windowID == foreground.windowID;
  std::shared_ptr<FocusController> focus = controllerFor(pid);
  if (!focus)
    return false;
  if (!focus->canProtectCurrentProcess())
    return false;
  if (windowID != focus->windowID)
    return false;
  if (!focus->targetApp || !focus->targetWindow)
    return false;
  auto& ax = platform_.accessibility();
  auto focused = platform::elementAttribute(ax, focus->targetApp, "AXFocusedWindow");
  if (!focused || !focused->isEqual(focus->targetWindow))
    return false;
  const FocusContext& context = focus->context();
  return !context.userIntervened && windowID == context.expectedWindowID &&
         context.sawSyntheticActivation;
}

void ForegroundGuard::afterSyntheticStateReady(int32_t pid,
                                               uint32_t windowID,
                                               const platform::ForegroundSnapshot& foreground,
                                               int attempt,
                                               std::function<void()> completion) {
  if (pid == foreground.pid || syntheticStateReady(pid, windowID, foreground)) {
    completion();
    return;
  }
  if (attempt < kReadinessAttempts && platform::foregroundStillMatches(platform_, foreground)) {
    std::weak_ptr<int> alive = alive_;
    platform_.mainLoop().postDelayed(
        kReadinessInterval, [this, alive, pid, windowID, foreground, attempt,
                             completion = std::move(completion)]() mutable {
          if (alive.expired())
            return;
          afterSyntheticStateReady(pid, windowID, foreground, attempt + 1, std::move(completion));
        });
    return;
  }
  completion();
}

}  // namespace cuh
