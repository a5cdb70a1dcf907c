#include "platform/sim/sim_events.h"

#include "platform/ax_names.h"
#include "platform/sim/sim_values.h"

namespace cuh::sim {

using nlohmann::json;
using platform::Point;
using platform::Value;
using quartz::Event;
using quartz::EventTap;

// ---- Events ----

int64_t SimEvent::integerValueField(uint32_t field) const {
  if (auto found = fields_.find(field); found != fields_.end())
    return found->second;
  if (auto found = platformFields.find(field); found != platformFields.end())
    return found->second;
  return 0;
}

int64_t SimEvent::windowNumber() const {
  if (kind_ == Kind::other || kind_ == Kind::mouseObject)
    return objectWindowNumber;
  // A Quartz mouse event knows its window from the window-under-pointer
  // field.
  return integerValueField(quartz::kCGMouseEventWindowUnderMousePointer);
}

std::optional<quartz::AppKitEventView> SimEvent::appKitView() const {
  if (type_ == quartz::kCGEventTapDisabledByTimeout ||
      type_ == quartz::kCGEventTapDisabledByUserInput) {
    return std::nullopt;
  }
  quartz::AppKitEventView view;
  view.windowNumber = windowNumber();
  view.subtype = kind_ == Kind::other
                     ? subtype
                     : static_cast<int16_t>(integerValueField(quartz::kCGMouseEventSubtype));
  view.modifierFlags = flags_;
  return view;
}

json SimEvent::traceJson() const {
  json out;
  out["type"] = type_;
  if (kind_ == Kind::other)
    out["subtype"] = subtype;
  out["flags"] = flags_;
  Point location = location_.value_or(Point{});
  out["x"] = location.x;
  out["y"] = location.y;
  if (windowLocation_) {
    out["windowX"] = windowLocation_->x;
    out["windowY"] = windowLocation_->y;
  }
  out["windowNumber"] = windowNumber();
  json fields = json::object();
  for (const auto& [field, value] : fields_)
    fields[std::to_string(field)] = value;
  out["fields"] = std::move(fields);
  if (kind_ == Kind::keyboard) {
    out["keyCode"] = keyCode;
    out["keyDown"] = keyDown;
  }
  if (kind_ == Kind::scroll) {
    out["wheel"] = json::array({wheel[0], wheel[1], wheel[2]});
    out["units"] = units == quartz::kCGScrollEventUnitLine ? "line" : "pixel";
  }
  if (kind_ == Kind::mouseObject) {
    out["clickCount"] = clickCount;
    out["pressure"] = pressure;
  }
  return out;
}

// ---- Taps ----

class SimTap final : public quartz::EventTapObject {
 public:
  SimTap(SimEvents& events, std::weak_ptr<bool> alive)
      : events_(events), alive_(std::move(alive)) {}
  ~SimTap() override {
    if (valid && !alive_.expired())
      events_.tapDestroyed(*this);
  }

  int32_t pid = 0;
  uint64_t mask = 0;
  quartz::EventTapCallBack callback = nullptr;
  void* userInfo = nullptr;
  bool enabled = true;
  bool valid = true;
  bool sourceInLoop = false;

 private:
  SimEvents& events_;
  std::weak_ptr<bool> alive_;
};

namespace {

class SimRunLoopSource final : public quartz::RunLoopSourceObject {
 public:
  explicit SimRunLoopSource(std::weak_ptr<SimTap> owner) : tap(std::move(owner)) {}
  std::weak_ptr<SimTap> tap;
};

class SimEventSource final : public quartz::EventSourceObject {};

SimTap* asTap(const EventTap& tap) {
  return dynamic_cast<SimTap*>(tap.get());
}

bool isMouseType(uint32_t type) {
  return (type >= 1 && type <= 7) || (type >= 25 && type <= 27);
}

}  // namespace

SimEvents::SimEvents(SimContext& context, SimAccessibility& accessibility, bool windowLocation)
    : context_(context), accessibility_(accessibility), windowLocation_(windowLocation) {}

SimEvents::~SimEvents() = default;

std::shared_ptr<SimEvent> SimEvents::make(SimEvent::Kind kind, uint32_t type) const {
  auto event = std::make_shared<SimEvent>(kind, type);
  event->windowLocationSupported = windowLocation_;
  // Events carry the pid of the process that created them.
  event->platformFields[quartz::kCGEventSourceUnixProcessID] = context_.helperPid();
  return event;
}

Event SimEvents::createOtherEvent(const quartz::OtherEventParams& params) {
  auto event = make(SimEvent::Kind::other, params.type);
  event->setLocation(params.location);
  event->setFlags(params.modifierFlags);
  event->objectWindowNumber = params.windowNumber;
  event->subtype = params.subtype;
  return event;
}

Event SimEvents::createMouseEventObject(const quartz::MouseEventParams& params) {
  if (!isMouseType(params.type))
    return nullptr;  // AppKit refuses other types
  auto event = make(SimEvent::Kind::mouseObject, params.type);
  event->setLocation(params.location);
  event->setFlags(params.modifierFlags);
  event->objectWindowNumber = params.windowNumber;
  event->clickCount = params.clickCount;
  event->pressure = params.pressure;
  event->platformFields[quartz::kCGMouseEventNumber] = params.eventNumber;
  event->platformFields[quartz::kCGMouseEventClickState] = params.clickCount;
  return event;
}

quartz::EventSource SimEvents::createEventSource(quartz::CGEventSourceStateID) {
  return std::make_shared<SimEventSource>();
}

Event SimEvents::createMouseEvent(const quartz::EventSource&,
                                  uint32_t type,
                                  Point location,
                                  quartz::CGMouseButton button) {
  auto event = make(SimEvent::Kind::mouse, type);
  event->setLocation(location);
  event->platformFields[quartz::kCGMouseEventButtonNumber] = button;
  return event;
}

Event SimEvents::createKeyboardEvent(const quartz::EventSource&, uint16_t keyCode, bool keyDown) {
  auto event =
      make(SimEvent::Kind::keyboard, keyDown ? quartz::kCGEventKeyDown : quartz::kCGEventKeyUp);
  event->keyCode = keyCode;
  event->keyDown = keyDown;
  return event;
}

Event SimEvents::createScrollWheelEvent2(const quartz::EventSource&,
                                         quartz::CGScrollEventUnit units,
                                         uint32_t wheelCount,
                                         int32_t wheel1,
                                         int32_t wheel2,
                                         int32_t wheel3) {
  if (wheelCount < 1 || wheelCount > 3)
    return nullptr;
  auto event = make(SimEvent::Kind::scroll, quartz::kCGEventScrollWheel);
  event->units = units;
  event->wheel = {wheel1, wheelCount >= 2 ? wheel2 : 0, wheelCount >= 3 ? wheel3 : 0};
  return event;
}

void SimEvents::postToPid(int32_t pid, const Event& event) {
  const auto* sim = dynamic_cast<const SimEvent*>(event.get());
  if (!sim)
    return;
  // The window server takes its own copy: later changes to the caller's
  // event do not reach the one delivered.
  auto copy = std::make_shared<SimEvent>(*sim);
  copy->platformFields[quartz::kCGEventTargetUnixProcessID] = pid;
  context_.trace.write({{"kind", "post"}, {"pid", pid}, {"event", copy->traceJson()}});
  posted_.emplace_back(pid, copy);
  context_.loop.post([this, pid, copy, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired())
      deliver(pid, copy);
  });
  if (context_.afterPost)
    context_.afterPost(pid);
}

void SimEvents::deliverFromElsewhere(int32_t pid,
                                     std::shared_ptr<SimEvent> event,
                                     int32_t sourcePid) {
  event->platformFields[quartz::kCGEventSourceUnixProcessID] = sourcePid;
  event->platformFields[quartz::kCGEventTargetUnixProcessID] = pid;
  context_.loop.post([this, pid, event = std::move(event), alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired())
      deliver(pid, event);
  });
}

void SimEvents::deliver(int32_t pid, const std::shared_ptr<SimEvent>& event) {
  App* app = context_.world.app(pid);
  if (event->type() == quartz::NSEventTypeAppKitDefined && app && app->profile.dropsActivation) {
    return;
  }
  Event current = event;
  // Taps created by a callback see only later events.
  std::vector<std::shared_ptr<SimTap>> taps;
  for (const auto& weak : taps_) {
    if (auto tap = weak.lock())
      taps.push_back(std::move(tap));
  }
  for (const auto& tap : taps) {
    if (tap->pid != pid || !tap->valid || !tap->enabled || !tap->sourceInLoop)
      continue;
    uint32_t type = current->type();
    if (type >= 64 || !(tap->mask & quartz::CGEventMaskBit(type)))
      continue;
    Event result = tap->callback(nullptr, type, current, tap->userInfo);
    context_.trace.write(
        {{"kind", "tap"}, {"pid", pid}, {"type", type}, {"verdict", result ? "pass" : "drop"}});
    if (!result)
      return;
    current = std::move(result);
  }
  appReceives(pid, current);
}

void SimEvents::disableTaps(int32_t pid, uint32_t reason) {
  std::vector<std::shared_ptr<SimTap>> taps;
  for (const auto& weak : taps_) {
    if (auto tap = weak.lock())
      taps.push_back(std::move(tap));
  }
  for (const auto& tap : taps) {
    if (tap->pid != pid || !tap->valid || !tap->enabled)
      continue;
    tap->enabled = false;
    if (!tap->sourceInLoop)
      continue;
    Event notice = std::make_shared<SimEvent>(SimEvent::Kind::plain, reason);
    Event result = tap->callback(nullptr, reason, notice, tap->userInfo);
    context_.trace.write(
        {{"kind", "tap"}, {"pid", pid}, {"type", reason}, {"verdict", result ? "pass" : "drop"}});
  }
}

nlohmann::json SimEvents::describeTaps() const {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& weak : taps_) {
    if (auto tap = weak.lock()) {
      out.push_back({{"pid", tap->pid},
                     {"mask", tap->mask},
                     {"enabled", tap->enabled},
                     {"valid", tap->valid},
                     {"sourceInLoop", tap->sourceInLoop}});
    }
  }
  return out;
}

EventTap SimEvents::tapCreateForPid(int32_t pid,
                                    quartz::CGEventTapPlacement,
                                    quartz::CGEventTapOptions,
                                    uint64_t eventsOfInterest,
                                    quartz::EventTapCallBack callback,
                                    void* userInfo) {
  if (!callback)
    return nullptr;
  auto tap = std::make_shared<SimTap>(*this, alive_);
  tap->pid = pid;
  tap->mask = eventsOfInterest;
  tap->callback = callback;
  tap->userInfo = userInfo;
  taps_.push_back(tap);
  context_.trace.write({{"kind", "tapCreated"}, {"pid", pid}, {"mask", eventsOfInterest}});
  return tap;
}

quartz::RunLoopSource SimEvents::createRunLoopSource(const EventTap& tap) {
  auto shared = std::dynamic_pointer_cast<SimTap>(tap);
  if (!shared || !shared->valid)
    return nullptr;
  return std::make_shared<SimRunLoopSource>(shared);
}

void SimEvents::addSourceToMainRunLoop(const quartz::RunLoopSource& source) {
  const auto* sim = dynamic_cast<const SimRunLoopSource*>(source.get());
  if (!sim)
    return;
  if (auto tap = sim->tap.lock())
    tap->sourceInLoop = true;
}

void SimEvents::removeSourceFromMainRunLoop(const quartz::RunLoopSource& source) {
  const auto* sim = dynamic_cast<const SimRunLoopSource*>(source.get());
  if (!sim)
    return;
  if (auto tap = sim->tap.lock())
    tap->sourceInLoop = false;
}

void SimEvents::tapEnable(const EventTap& tap, bool enable) {
  if (SimTap* sim = asTap(tap); sim && sim->valid)
    sim->enabled = enable;
}

bool SimEvents::tapIsEnabled(const EventTap& tap) {
  SimTap* sim = asTap(tap);
  return sim && sim->valid && sim->enabled;
}

bool SimEvents::machPortIsValid(const EventTap& tap) {
  SimTap* sim = asTap(tap);
  return sim && sim->valid;
}

void SimEvents::machPortInvalidate(const EventTap& tap) {
  SimTap* sim = asTap(tap);
  if (!sim || !sim->valid)
    return;
  sim->valid = false;
  sim->enabled = false;
  context_.trace.write({{"kind", "tapRemoved"}, {"pid", sim->pid}});
}

void SimEvents::tapDestroyed(const SimTap& tap) {
  context_.trace.write({{"kind", "tapRemoved"}, {"pid", tap.pid}});
  std::erase_if(taps_, [](const std::weak_ptr<SimTap>& weak) { return weak.expired(); });
}

// ---- What the target app does ----

namespace {

bool isEditableRole(const Node& node) {
  const Value* role = node.attribute(ax::kRoleAttribute);
  const auto* text = role ? role->as<std::string>() : nullptr;
  return text &&
         (*text == ax::kTextFieldRole || *text == ax::kTextAreaRole || *text == ax::kComboBoxRole);
}

// The character a key of the US layout types, or 0.
char typedCharacter(uint16_t keyCode, bool shift) {
  static const std::map<uint16_t, char> letters = {
      {0, 'a'},  {1, 's'},  {2, 'd'},  {3, 'f'},  {4, 'h'},  {5, 'g'},  {6, 'z'},
      {7, 'x'},  {8, 'c'},  {9, 'v'},  {11, 'b'}, {12, 'q'}, {13, 'w'}, {14, 'e'},
      {15, 'r'}, {16, 'y'}, {17, 't'}, {31, 'o'}, {32, 'u'}, {34, 'i'}, {35, 'p'},
      {37, 'l'}, {38, 'j'}, {40, 'k'}, {45, 'n'}, {46, 'm'}};
  static const std::map<uint16_t, std::pair<char, char>> digits = {
      {18, {'1', '!'}}, {19, {'2', '@'}}, {20, {'3', '#'}}, {21, {'4', '$'}}, {23, {'5', '%'}},
      {22, {'6', '^'}}, {26, {'7', '&'}}, {28, {'8', '*'}}, {25, {'9', '('}}, {29, {'0', ')'}}};
  if (keyCode == 49)
    return ' ';
  if (auto found = letters.find(keyCode); found != letters.end()) {
    return shift ? static_cast<char>(found->second - 'a' + 'A') : found->second;
  }
  if (auto found = digits.find(keyCode); found != digits.end()) {
    return shift ? found->second.second : found->second.first;
  }
  return 0;
}

}  // namespace

void SimEvents::appReceives(int32_t pid, const Event& event) {
  App* app = context_.world.app(pid);
  if (!app)
    return;
  uint32_t type = event->type();
  if (type == quartz::kCGEventLeftMouseDown || type == quartz::kCGEventRightMouseDown) {
    if (const auto* sim = dynamic_cast<const SimEvent*>(event.get()))
      mouseDown(*app, *sim);
  } else if (type == quartz::kCGEventKeyDown) {
    keyDown(*app, event);
  }
}

void SimEvents::mouseDown(App& app, const SimEvent& event) {
  auto location = event.location();
  if (!location)
    return;
  Window* window = context_.world.window(static_cast<uint32_t>(event.windowNumber()));
  if (!window || window->pid != app.profile.pid || !window->bounds ||
      !window->bounds->contains(*location)) {
    return;
  }
  auto node = accessibility_.hitTest(*window, *location);
  for (int examined = 0; node && examined < 8; ++examined) {
    if (isEditableRole(*node)) {
      accessibility_.focus(app, node);
      return;
    }
    node = node->parent.lock();
  }
}

void SimEvents::keyDown(App& app, const Event& event) {
  auto node = app.focusedElement.lock();
  if (!node || !context_.world.windowOf(*node) || !isEditableRole(*node))
    return;
  const Value* value = node->attribute(ax::kValueAttribute);
  const auto* current = value ? value->as<std::string>() : nullptr;
  if (!current)
    return;
  std::string text = *current;
  // Only keyboard events carry a key; the user's input from a script does not.
  const auto* sim = dynamic_cast<const SimEvent*>(event.get());
  if (!sim || sim->kind() != SimEvent::Kind::keyboard)
    return;
  uint16_t keyCode = sim->keyCode;
  uint64_t flags = sim->flags();
  if (flags & (quartz::kCGEventFlagMaskCommand | quartz::kCGEventFlagMaskControl))
    return;

  auto length = static_cast<int64_t>(utf16Length(text));
  platform::Range selection{length, 0};
  if (const Value* range = node->attribute(ax::kSelectedTextRangeAttribute)) {
    if (const auto* r = range->as<platform::Range>())
      selection = *r;
  }
  selection.location = std::clamp<int64_t>(selection.location, 0, length);
  selection.length = std::clamp<int64_t>(selection.length, 0, length - selection.location);
  size_t start = byteOffsetOfUtf16(text, selection.location);
  size_t end = byteOffsetOfUtf16(text, selection.location + selection.length);
  int64_t caret = selection.location;

  if (keyCode == 51) {
    if (selection.length > 0) {
      text.erase(start, end - start);
    } else if (start > 0) {
      size_t previous = start - 1;
      while (previous > 0 && (static_cast<unsigned char>(text[previous]) & 0xC0) == 0x80)
        --previous;
      caret -= static_cast<int64_t>(utf16Length(text.substr(previous, start - previous)));
      text.erase(previous, start - previous);
    } else {
      return;
    }
  } else {
    char typed = typedCharacter(keyCode, flags & quartz::kCGEventFlagMaskShift);
    if (!typed)
      return;
    text.replace(start, end - start, 1, typed);
    caret += 1;
  }
  node->setAttribute(ax::kValueAttribute, Value::string(std::move(text)));
  node->setAttribute(ax::kSelectedTextRangeAttribute,
                     Value(Value::Storage(platform::Range{caret, 0})));
}

}  // namespace cuh::sim
