// Quartz event services and the AppKit event conversions, for the Quartz
// library's foreground protection and background input.
#include "platform/macos/apple_sdk.h"

#include "platform/macos/scoped_cf.h"
#include "platform/macos/services.h"
#include "platform/quartz/events.h"

namespace cuh::macos {
namespace {

// CGEventSetWindowLocation: exported by CoreGraphics, with the signature of
// its documented sibling CGEventSetLocation, but declared in no SDK header.
// It sets the window-relative location AppKit reports as -[NSEvent
// locationInWindow]. Looked up at run time so that a system without it still
// loads the helper; null there.
using SetWindowLocationFunction = void (*)(CGEventRef, CGPoint);

SetWindowLocationFunction lookUpSetWindowLocation() {
  return reinterpret_cast<SetWindowLocationFunction>(
      dlsym(RTLD_DEFAULT, "CGEventSetWindowLocation"));
}

class MacEvent final : public quartz::EventObject {
 public:
  MacEvent(ScopedCFTypeRef<CGEventRef> event, SetWindowLocationFunction setWindowLocation)
      : event_(std::move(event)), setWindowLocation_(setWindowLocation) {}
  CGEventRef ref() const { return event_.get(); }

  uint32_t type() const override { return CGEventGetType(event_.get()); }
  int64_t integerValueField(uint32_t field) const override {
    return CGEventGetIntegerValueField(event_.get(), static_cast<CGEventField>(field));
  }
  void setIntegerValueField(uint32_t field, int64_t value) override {
    CGEventSetIntegerValueField(event_.get(), static_cast<CGEventField>(field), value);
  }
  void setLocation(platform::Point location) override {
    CGEventSetLocation(event_.get(), CGPointMake(location.x, location.y));
  }
  void setWindowLocation(platform::Point location) override {
    if (setWindowLocation_)
      setWindowLocation_(event_.get(), CGPointMake(location.x, location.y));
  }
  void setFlags(uint64_t flags) override {
    CGEventSetFlags(event_.get(), static_cast<CGEventFlags>(flags));
  }
  std::optional<quartz::AppKitEventView> appKitView() const override {
    // AppKit raises where it cannot make sense of a Quartz event, and for
    // subtype on event types that have none (keys, among others): the first
    // is no view, the second reads as subtype 0.
    @try {
      NSEvent* event = [NSEvent eventWithCGEvent:event_.get()];
      if (!event)
        return std::nullopt;
      quartz::AppKitEventView view;
      view.windowNumber = event.windowNumber;
      view.modifierFlags = event.modifierFlags;
      @try {
        view.subtype = event.subtype;
      } @catch (NSException*) {
        view.subtype = 0;
      }
      return view;
    } @catch (NSException*) {
      return std::nullopt;
    }
  }

 private:
  ScopedCFTypeRef<CGEventRef> event_;
  SetWindowLocationFunction setWindowLocation_;
};

CGEventRef eventRef(const quartz::Event& event) {
  const auto* mac = dynamic_cast<const MacEvent*>(event.get());
  return mac ? mac->ref() : nullptr;
}

// An AppKit event's Quartz event. The NSEvent owns it, so it is retained.
// Read once: each -[NSEvent CGEvent] may hand out a new object.
quartz::Event fromNSEvent(NSEvent* event, SetWindowLocationFunction setWindowLocation) {
  CGEventRef quartzEvent = event ? event.CGEvent : nullptr;
  if (!quartzEvent)
    return nullptr;
  return std::make_shared<MacEvent>(ScopedCFTypeRef<CGEventRef>::retain(quartzEvent),
                                    setWindowLocation);
}

quartz::Event adoptEvent(CGEventRef event, SetWindowLocationFunction setWindowLocation) {
  if (!event)
    return nullptr;
  return std::make_shared<MacEvent>(ScopedCFTypeRef<CGEventRef>(event), setWindowLocation);
}

class MacEventSource final : public quartz::EventSourceObject {
 public:
  explicit MacEventSource(ScopedCFTypeRef<CGEventSourceRef> source) : source_(std::move(source)) {}
  CGEventSourceRef ref() const { return source_.get(); }

 private:
  ScopedCFTypeRef<CGEventSourceRef> source_;
};

// A null source is valid for the Quartz calls (no source state).
CGEventSourceRef eventSourceRef(const quartz::EventSource& source) {
  const auto* mac = dynamic_cast<const MacEventSource*>(source.get());
  return mac ? mac->ref() : nullptr;
}

// What the C callback of a tap needs to reach the platform callback.
struct TapTarget {
  quartz::EventTapCallBack callback;
  void* userInfo;
  SetWindowLocationFunction setWindowLocation;
};

// The tap's CGEventTapCallBack, on the main run loop. Hands the event over as
// a platform handle; the returned handle decides: the same event passes as
// it came, null drops it, another event replaces it.
CGEventRef tapTrampoline(CGEventTapProxy proxy, CGEventType type, CGEventRef event, void* info) {
  const auto* target = static_cast<const TapTarget*>(info);
  // The tap-disabled notifications may come without an event; the platform
  // callback always gets one that carries the type.
  ScopedCFTypeRef<CGEventRef> incoming = event
                                             ? ScopedCFTypeRef<CGEventRef>::retain(event)
                                             : ScopedCFTypeRef<CGEventRef>(CGEventCreate(nullptr));
  if (!incoming)
    return event;
  if (!event)
    CGEventSetType(incoming.get(), type);
  // No C++ exception may leave a Quartz callback; a callback that fails lets
  // the event pass as it came.
  quartz::Event handle;
  quartz::Event result;
  try {
    handle = std::make_shared<MacEvent>(std::move(incoming), target->setWindowLocation);
    result = target->callback(proxy, type, handle, target->userInfo);
  } catch (...) {
    return event;
  }
  if (!result)
    return nullptr;
  CGEventRef out = eventRef(result);
  // An event of another backend cannot be delivered; the original passes
  // rather than the user's input being lost.
  if (!out || out == event || result == handle)
    return event;
  // A replacement: the system releases the returned event.
  CFRetain(out);
  return out;
}

class MacEventTap final : public quartz::EventTapObject {
 public:
  MacEventTap(std::unique_ptr<TapTarget> target, ScopedCFTypeRef<CFMachPortRef> port)
      : target_(std::move(target)), port_(std::move(port)) {}
  // The run loop source keeps the port alive on its own; invalidating it here
  // keeps the callback from running with a target that is gone.
  ~MacEventTap() override { CFMachPortInvalidate(port_.get()); }
  CFMachPortRef ref() const { return port_.get(); }

 private:
  std::unique_ptr<TapTarget> target_;
  ScopedCFTypeRef<CFMachPortRef> port_;
};

CFMachPortRef tapRef(const quartz::EventTap& tap) {
  const auto* mac = dynamic_cast<const MacEventTap*>(tap.get());
  return mac ? mac->ref() : nullptr;
}

class MacRunLoopSource final : public quartz::RunLoopSourceObject {
 public:
  explicit MacRunLoopSource(ScopedCFTypeRef<CFRunLoopSourceRef> source)
      : source_(std::move(source)) {}
  CFRunLoopSourceRef ref() const { return source_.get(); }

 private:
  ScopedCFTypeRef<CFRunLoopSourceRef> source_;
};

CFRunLoopSourceRef runLoopSourceRef(const quartz::RunLoopSource& source) {
  const auto* mac = dynamic_cast<const MacRunLoopSource*>(source.get());
  return mac ? mac->ref() : nullptr;
}

class MacEvents final : public quartz::Events {
 public:
  MacEvents() : setWindowLocation_(lookUpSetWindowLocation()) {}

  bool hasWindowLocation() const override { return setWindowLocation_ != nullptr; }

  quartz::Event createOtherEvent(const quartz::OtherEventParams& p) override {
    // AppKit raises for a type that is not an "other" event; that is an event
    // that cannot be built.
    @try {
      return fromNSEvent(
          [NSEvent otherEventWithType:static_cast<NSEventType>(p.type)
                             location:NSMakePoint(p.location.x, p.location.y)
                        modifierFlags:static_cast<NSEventModifierFlags>(p.modifierFlags)
                            timestamp:p.timestamp
                         windowNumber:static_cast<NSInteger>(p.windowNumber)
                              context:nil
                              subtype:p.subtype
                                data1:static_cast<NSInteger>(p.data1)
                                data2:static_cast<NSInteger>(p.data2)],
          setWindowLocation_);
    } @catch (NSException*) {
      return nullptr;
    }
  }

  quartz::Event createMouseEventObject(const quartz::MouseEventParams& p) override {
    // AppKit raises for a type that is not a mouse event.
    @try {
      return fromNSEvent(
          [NSEvent mouseEventWithType:static_cast<NSEventType>(p.type)
                             location:NSMakePoint(p.location.x, p.location.y)
                        modifierFlags:static_cast<NSEventModifierFlags>(p.modifierFlags)
                            timestamp:p.timestamp
                         windowNumber:static_cast<NSInteger>(p.windowNumber)
                              context:nil
                          eventNumber:static_cast<NSInteger>(p.eventNumber)
                           clickCount:static_cast<NSInteger>(p.clickCount)
                             pressure:p.pressure],
          setWindowLocation_);
    } @catch (NSException*) {
      return nullptr;
    }
  }

  quartz::EventSource createEventSource(quartz::CGEventSourceStateID state) override {
    ScopedCFTypeRef<CGEventSourceRef> source(
        CGEventSourceCreate(static_cast<CGEventSourceStateID>(state)));
    if (!source)
      return nullptr;
    return std::make_shared<MacEventSource>(std::move(source));
  }

  quartz::Event createMouseEvent(const quartz::EventSource& source,
                                 uint32_t type,
                                 platform::Point location,
                                 quartz::CGMouseButton button) override {
    return adoptEvent(CGEventCreateMouseEvent(
                          eventSourceRef(source), static_cast<CGEventType>(type),
                          CGPointMake(location.x, location.y), static_cast<CGMouseButton>(button)),
                      setWindowLocation_);
  }

  quartz::Event createKeyboardEvent(const quartz::EventSource& source,
                                    uint16_t keyCode,
                                    bool keyDown) override {
    return adoptEvent(CGEventCreateKeyboardEvent(eventSourceRef(source),
                                                 static_cast<CGKeyCode>(keyCode), keyDown),
                      setWindowLocation_);
  }

  quartz::Event createScrollWheelEvent2(const quartz::EventSource& source,
                                        quartz::CGScrollEventUnit units,
                                        uint32_t wheelCount,
                                        int32_t wheel1,
                                        int32_t wheel2,
                                        int32_t wheel3) override {
    return adoptEvent(CGEventCreateScrollWheelEvent2(eventSourceRef(source),
                                                     static_cast<CGScrollEventUnit>(units),
                                                     wheelCount, wheel1, wheel2, wheel3),
                      setWindowLocation_);
  }

  void postToPid(int32_t pid, const quartz::Event& event) override {
    if (CGEventRef ref = eventRef(event))
      CGEventPostToPid(pid, ref);
  }

  quartz::EventTap tapCreateForPid(int32_t pid,
                                   quartz::CGEventTapPlacement placement,
                                   quartz::CGEventTapOptions options,
                                   uint64_t eventsOfInterest,
                                   quartz::EventTapCallBack callback,
                                   void* userInfo) override {
    if (!callback)
      return nullptr;
    auto target = std::make_unique<TapTarget>(TapTarget{callback, userInfo, setWindowLocation_});
    ScopedCFTypeRef<CFMachPortRef> port(CGEventTapCreateForPid(
        pid, static_cast<CGEventTapPlacement>(placement), static_cast<CGEventTapOptions>(options),
        static_cast<CGEventMask>(eventsOfInterest), tapTrampoline, target.get()));
    if (!port)
      return nullptr;
    return std::make_shared<MacEventTap>(std::move(target), std::move(port));
  }

  quartz::RunLoopSource createRunLoopSource(const quartz::EventTap& tap) override {
    CFMachPortRef port = tapRef(tap);
    if (!port)
      return nullptr;
    ScopedCFTypeRef<CFRunLoopSourceRef> source(
        CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0));
    if (!source)
      return nullptr;
    return std::make_shared<MacRunLoopSource>(std::move(source));
  }

  void addSourceToMainRunLoop(const quartz::RunLoopSource& source) override {
    if (CFRunLoopSourceRef ref = runLoopSourceRef(source)) {
      CFRunLoopAddSource(CFRunLoopGetMain(), ref, kCFRunLoopCommonModes);
    }
  }

  void removeSourceFromMainRunLoop(const quartz::RunLoopSource& source) override {
    if (CFRunLoopSourceRef ref = runLoopSourceRef(source)) {
      CFRunLoopRemoveSource(CFRunLoopGetMain(), ref, kCFRunLoopCommonModes);
    }
  }

  void tapEnable(const quartz::EventTap& tap, bool enable) override {
    if (CFMachPortRef port = tapRef(tap))
      CGEventTapEnable(port, enable);
  }

  bool tapIsEnabled(const quartz::EventTap& tap) override {
    CFMachPortRef port = tapRef(tap);
    return port && CGEventTapIsEnabled(port);
  }

  bool machPortIsValid(const quartz::EventTap& tap) override {
    CFMachPortRef port = tapRef(tap);
    return port && CFMachPortIsValid(port);
  }

  void machPortInvalidate(const quartz::EventTap& tap) override {
    if (CFMachPortRef port = tapRef(tap))
      CFMachPortInvalidate(port);
  }

 private:
  SetWindowLocationFunction setWindowLocation_;
};

}  // namespace

std::unique_ptr<quartz::Events> createEvents() {
  return std::make_unique<MacEvents>();
}

}  // namespace cuh::macos
