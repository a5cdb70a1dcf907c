// Quartz event services and the AppKit event conversions the Quartz
// mechanism of foreground protection and background input works with:
// building events, posting them to one process, and per-process event taps.
// The simulated desktop and the macOS adapter each implement it; nothing
// outside the Quartz library and those two backends sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/geometry.h"

namespace cuh::quartz {

using platform::Point;

// CGEventType values (and NSEventTypeAppKitDefined, 13, which shares the
// numbering).
enum EventType : uint32_t {
  kCGEventNull = 0,
  kCGEventLeftMouseDown = 1,
  kCGEventLeftMouseUp = 2,
  kCGEventRightMouseDown = 3,
  kCGEventRightMouseUp = 4,
  kCGEventMouseMoved = 5,
  kCGEventLeftMouseDragged = 6,
  kCGEventKeyDown = 10,
  kCGEventKeyUp = 11,
  kCGEventFlagsChanged = 12,
  NSEventTypeAppKitDefined = 13,
  kEventTypeWindowState = 21,  // the AppKit window-state event type
  kCGEventScrollWheel = 22,
  kCGEventOtherMouseDown = 25,
  kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
  kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

// CGEventField numbers.
enum EventField : uint32_t {
  kCGMouseEventNumber = 0,
  kCGMouseEventClickState = 1,
  kCGMouseEventButtonNumber = 3,
  kCGMouseEventSubtype = 7,
  kCGEventTargetUnixProcessID = 40,
  kCGEventSourceUnixProcessID = 41,
  kCGEventSourceUserData = 42,
  kCGMouseEventWindowUnderMousePointer = 91,
  kCGMouseEventWindowUnderMousePointerThatCanHandleThisEvent = 92,
};

// NSEvent subtypes of NSEventTypeAppKitDefined.
inline constexpr int16_t NSEventSubtypeApplicationActivated = 1;
inline constexpr int16_t NSEventSubtypeApplicationDeactivated = 2;
// NSEventSubtypeTouch, as used in kCGMouseEventSubtype.
inline constexpr int64_t NSEventSubtypeTouch = 3;

// CGEventFlags bits.
inline constexpr uint64_t kCGEventFlagMaskShift = 0x20000;
inline constexpr uint64_t kCGEventFlagMaskControl = 0x40000;
inline constexpr uint64_t kCGEventFlagMaskAlternate = 0x80000;
inline constexpr uint64_t kCGEventFlagMaskCommand = 0x100000;
inline constexpr uint64_t kCGEventFlagMaskSecondaryFn = 0x800000;

enum CGMouseButton : uint32_t { kCGMouseButtonLeft = 0, kCGMouseButtonRight = 1 };
enum CGScrollEventUnit : uint32_t { kCGScrollEventUnitPixel = 0, kCGScrollEventUnitLine = 1 };
enum CGEventSourceStateID : int32_t { kCGEventSourceStatePrivate = -1 };
enum CGEventTapPlacement : uint32_t { kCGHeadInsertEventTap = 0, kCGTailAppendEventTap = 1 };
enum CGEventTapOptions : uint32_t { kCGEventTapOptionDefault = 0, kCGEventTapOptionListenOnly = 1 };

// What AppKit reads from a Quartz event ([NSEvent eventWithCGEvent:]).
struct AppKitEventView {
  int64_t windowNumber = 0;
  int16_t subtype = 0;
  uint64_t modifierFlags = 0;
};

// A Quartz event (CGEventRef). Handles are shared: the last owner releases.
class EventObject {
 public:
  virtual ~EventObject() = default;
  // CGEventGetType.
  virtual uint32_t type() const = 0;
  // CGEventGetIntegerValueField: 0 for a field never set.
  virtual int64_t integerValueField(uint32_t field) const = 0;
  // CGEventSetIntegerValueField.
  virtual void setIntegerValueField(uint32_t field, int64_t value) = 0;
  // CGEventSetLocation: screen point.
  virtual void setLocation(Point location) = 0;
  // CGEventSetWindowLocation: point relative to the window's top-left corner.
  // Where the system lacks that call (Events::hasWindowLocation() is false)
  // this does nothing and the event carries its screen location only.
  virtual void setWindowLocation(Point location) = 0;
  // CGEventSetFlags.
  virtual void setFlags(uint64_t flags) = 0;
  // [NSEvent eventWithCGEvent:]: none when AppKit cannot convert the event.
  virtual std::optional<AppKitEventView> appKitView() const = 0;
};
using Event = std::shared_ptr<EventObject>;

class EventSourceObject {
 public:
  virtual ~EventSourceObject() = default;
};
using EventSource = std::shared_ptr<EventSourceObject>;

class EventTapObject {
 public:
  virtual ~EventTapObject() = default;
};
// A tap's mach port (CFMachPortRef).
using EventTap = std::shared_ptr<EventTapObject>;

class RunLoopSourceObject {
 public:
  virtual ~RunLoopSourceObject() = default;
};
using RunLoopSource = std::shared_ptr<RunLoopSourceObject>;

// [NSEvent otherEventWithType:location:modifierFlags:timestamp:windowNumber:
// context:subtype:data1:data2:] (context always nil), taken as its Quartz
// event.
struct OtherEventParams {
  uint32_t type = 0;
  Point location;
  uint64_t modifierFlags = 0;
  double timestamp = 0;  // seconds of system uptime
  int64_t windowNumber = 0;
  int16_t subtype = 0;
  int64_t data1 = 0;
  int64_t data2 = 0;
};

// [NSEvent mouseEventWithType:location:modifierFlags:timestamp:windowNumber:
// context:eventNumber:clickCount:pressure:] (context always nil), taken as
// its Quartz event.
struct MouseEventParams {
  uint32_t type = 0;
  Point location;
  uint64_t modifierFlags = 0;
  double timestamp = 0;
  int64_t windowNumber = 0;
  int64_t eventNumber = 0;
  int64_t clickCount = 0;
  float pressure = 0;
};

// A tap callback (CGEventTapCallBack). Returns the event to let it pass
// (possibly the same handle) or null to drop it. For the two disabled types
// the event carries only its type.
using EventTapCallBack = Event (*)(void* proxy, uint32_t type, const Event& event, void* userInfo);

// Builds the CGEventMask of a list of event types.
constexpr uint64_t CGEventMaskBit(uint32_t type) {
  return uint64_t{1} << type;
}

class Events {
 public:
  virtual ~Events() = default;

  // Whether EventObject::setWindowLocation takes effect. CGEventSetWindowLocation
  // is not in the documented API, so it is looked up when the events are
  // built; without it events carry their screen location only.
  virtual bool hasWindowLocation() const = 0;

  // The AppKit conversions. Null when the event cannot be built.
  virtual Event createOtherEvent(const OtherEventParams& params) = 0;
  virtual Event createMouseEventObject(const MouseEventParams& params) = 0;

  // CGEventSourceCreate. Null on failure.
  virtual EventSource createEventSource(CGEventSourceStateID state) = 0;
  // CGEventCreateMouseEvent. Null on failure.
  virtual Event createMouseEvent(const EventSource& source,
                                 uint32_t type,
                                 Point location,
                                 CGMouseButton button) = 0;
  // CGEventCreateKeyboardEvent. Null on failure.
  virtual Event createKeyboardEvent(const EventSource& source, uint16_t keyCode, bool keyDown) = 0;
  // CGEventCreateScrollWheelEvent2. Null on failure.
  virtual Event createScrollWheelEvent2(const EventSource& source,
                                        CGScrollEventUnit units,
                                        uint32_t wheelCount,
                                        int32_t wheel1,
                                        int32_t wheel2,
                                        int32_t wheel3) = 0;

  // CGEventPostToPid: delivers the event to one process. Delivery is
  // asynchronous: the process's taps (in creation order) and then the process
  // see it later, on the main run loop, in post order.
  virtual void postToPid(int32_t pid, const Event& event) = 0;

  // CGEventTapCreateForPid. Null on failure. `userInfo` is passed to every
  // callback unchanged; the tap does not own it.
  virtual EventTap tapCreateForPid(int32_t pid,
                                   CGEventTapPlacement placement,
                                   CGEventTapOptions options,
                                   uint64_t eventsOfInterest,
                                   EventTapCallBack callback,
                                   void* userInfo) = 0;
  // CFMachPortCreateRunLoopSource(default allocator, tap, 0). Null on failure.
  virtual RunLoopSource createRunLoopSource(const EventTap& tap) = 0;
  // CFRunLoopAddSource / CFRunLoopRemoveSource on CFRunLoopGetMain() in
  // kCFRunLoopCommonModes. A tap's callback runs only while its source is in
  // the main run loop.
  virtual void addSourceToMainRunLoop(const RunLoopSource& source) = 0;
  virtual void removeSourceFromMainRunLoop(const RunLoopSource& source) = 0;
  // CGEventTapEnable / CGEventTapIsEnabled.
  virtual void tapEnable(const EventTap& tap, bool enable) = 0;
  virtual bool tapIsEnabled(const EventTap& tap) = 0;
  // CFMachPortIsValid / CFMachPortInvalidate.
  virtual bool machPortIsValid(const EventTap& tap) = 0;
  virtual void machPortInvalidate(const EventTap& tap) = 0;
};

}  // namespace cuh::quartz
