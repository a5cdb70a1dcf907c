#include "platform/linux/x_background_input.h"

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "platform/linux/mac_keys.h"
#include "platform/linux/wheel_steps.h"
#include "platform/linux/x_input_events.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {

using platform::InputOutcome;

namespace {

// The client window's place on the root and its size; none when it is
// gone.
struct ClientArea {
  EventWindow target;
  int width = 0;
  int height = 0;
};

// The window draws its own frame: the window manager was asked for no
// decorations (_MOTIF_WM_HINTS), or it has an invisible shadow.
bool decoratesItself(XConnection& x, ::Window window) {
  XWindowReader reader(x);
  if (reader.cardinals(window, "_GTK_FRAME_EXTENTS"))
    return true;
  // flags, functions, decorations, ...: the decorations field is valid
  // (flag 2) and asks for none.
  auto hints = reader.cardinals(window, "_MOTIF_WM_HINTS");
  return hints && hints->size() >= 3 && ((*hints)[0] & 2) != 0 && (*hints)[2] == 0;
}

std::optional<ClientArea> clientArea(XConnection& x, ::Window window) {
  if (x.lost())
    return std::nullopt;
  XErrorScope scope(x);
  ::Window root = 0;
  int gx = 0;
  int gy = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border = 0;
  unsigned depth = 0;
  if (!XGetGeometry(x.display(), window, &root, &gx, &gy, &width, &height, &border, &depth))
    return std::nullopt;
  int rootX = 0;
  int rootY = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(x.display(), window, root, 0, 0, &rootX, &rootY, &child))
    return std::nullopt;
  if (scope.failed())
    return std::nullopt;
  ClientArea area;
  area.target = EventWindow{window, root, rootX, rootY};
  area.width = static_cast<int>(width);
  area.height = static_cast<int>(height);
  return area;
}

// A screen point in the client window's coordinates; none when it lies
// outside the window (on the frame the window manager draws around it).
std::optional<WindowPoint> inside(const ClientArea& area, platform::Point point) {
  const double x = std::floor(point.x) - area.target.originX;
  const double y = std::floor(point.y) - area.target.originY;
  if (x < 0 || y < 0 || x >= area.width || y >= area.height)
    return std::nullopt;
  return WindowPoint{static_cast<int>(x), static_cast<int>(y)};
}

const char* eventName(int type) {
  switch (type) {
    case EnterNotify:
      return "enter";
    case LeaveNotify:
      return "leave";
    case MotionNotify:
      return "motion";
    case ButtonPress:
      return "press";
    case ButtonRelease:
      return "release";
    case KeyPress:
      return "keyPress";
    case KeyRelease:
      return "keyRelease";
    default:
      return "other";
  }
}

}  // namespace

InputOutcome XBackgroundInput::send(int32_t pid,
                                    uint32_t windowID,
                                    const platform::PlaceGesture& place) {
  std::optional<platform::PlacedGesture> placed = place();
  if (!placed)
    return InputOutcome::notPlaced;
  std::optional<ClientArea> area = clientArea(x_, windowID);
  if (!area)
    return InputOutcome::eventNotCreated;

  // Everything is built first: a refusal or a failure to build sends
  // nothing, and never leaves a button or key held.
  std::vector<TimedEvent> events;
  const auto& gesture = placed->gesture;
  // Where the press (or the wheel) lands is where the window would take it
  // for its own frame; later points of a drag only move what was pressed.
  // Asked once per gesture, and never for a key.
  auto onFrame = [&](platform::Point point) {
    return onClientFrame_ && decoratesItself(x_, windowID) && onClientFrame_(pid, windowID, point);
  };
  if (const auto* click = std::get_if<platform::Click>(&gesture)) {
    auto point = inside(*area, click->point);
    if (!point || onFrame(click->point))
      return InputOutcome::pointOutsideWindowArea;
    const unsigned button = click->button == platform::MouseButton::right ? 3 : 1;
    events = clickEvents(area->target, *point, button, static_cast<int>(click->clickCount), stamps_,
                         x_.serverTime());
  } else if (const auto* drag = std::get_if<platform::Drag>(&gesture)) {
    std::vector<WindowPoint> path;
    for (const platform::Point& p : drag->path) {
      auto point = inside(*area, p);
      if (!point)
        return InputOutcome::pointOutsideWindowArea;
      path.push_back(*point);
    }
    if (path.size() < 2)
      return InputOutcome::eventNotCreated;
    if (onFrame(drag->path.front()))
      return InputOutcome::pointOutsideWindowArea;
    events = dragEvents(area->target, path, stamps_, x_.serverTime());
  } else if (const auto* scroll = std::get_if<platform::Scroll>(&gesture)) {
    auto point = inside(*area, scroll->point);
    if (!point || onFrame(scroll->point))
      return InputOutcome::pointOutsideWindowArea;
    std::vector<WheelClicks> clicks;
    if (scroll->unit == platform::ScrollUnit::pixel) {
      clicks = wheelClicksForPixels(scroll->dx, scroll->dy);
    } else {
      auto lines = [](int32_t n) { return static_cast<uint32_t>(std::llabs(n)); };
      if (scroll->dy != 0)
        clicks.push_back({scroll->dy > 0 ? kWheelDown : kWheelUp, lines(scroll->dy)});
      if (scroll->dx != 0)
        clicks.push_back({scroll->dx > 0 ? kWheelRight : kWheelLeft, lines(scroll->dx)});
    }
    for (const WheelClicks& wheel : clicks) {
      if (wheel.count > kMaxWheelSteps)
        return InputOutcome::amountTooLarge;
    }
    events = wheelEvents(area->target, *point, clicks, stamps_, x_.serverTime());
  } else {
    const auto& keystroke = std::get<platform::Keystroke>(gesture);
    auto keysym = keysymForMacKeyCode(keystroke.keyCode);
    std::optional<unsigned> keycode = keysym ? keyboard_.keycodeFor(*keysym) : std::nullopt;
    if (!keycode)
      return InputOutcome::keyNotOnKeyboard;
    const ModifierMasks& masks = keyboard_.masks();
    std::vector<HeldModifier> held;
    for (const MacModifier& modifier : macModifiers()) {
      if (!(keystroke.flags & modifier.flag) || modifier.keysym == NoSymbol)
        continue;  // Fn has no key that reaches an X client
      std::optional<unsigned> code = keyboard_.keycodeFor(modifier.keysym);
      const unsigned mask = xStateForMacFlags(modifier.flag, masks);
      if (!code || mask == 0)
        return InputOutcome::modifierEventNotCreated;
      held.push_back({*code, mask});
    }
    events = keyEvents(area->target, held, *keycode, stamps_, x_.serverTime());
  }
  if (events.empty() || x_.lost())
    return InputOutcome::eventNotCreated;

  // To the client that created the window (event mask 0), whatever it
  // selected: that is the target process, and no other client sees it.
  for (TimedEvent& timed : events) {
    if (timed.pauseBefore.count() > 0) {
      XFlush(x_.display());
      loop_.sleep(static_cast<double>(timed.pauseBefore.count()) / 1000.0);
    }
    XSendEvent(x_.display(), windowID, False, 0, &timed.event);
    trace_.write({{"kind", "sendEvent"},
                  {"pid", pid},
                  {"window", windowID},
                  {"event", eventName(timed.event.type)},
                  {"time", timed.event.xkey.time}});
  }
  XFlush(x_.display());
  return InputOutcome::sent;
}

}  // namespace cuh::linux_desktop
