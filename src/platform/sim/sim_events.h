// Quartz events and event taps of the simulated desktop: building events,
// posting them to one process, delivery through that process's taps (in
// creation order, on the main loop, in post order) and then to the app,
// which reacts as a real app would to clicks and typing. The Quartz library
// builds the desktop's foreground protection and background input on them.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/quartz/events.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_context.h"

namespace cuh::sim {

class SimEvent final : public quartz::EventObject {
 public:
  // How the event was built; decides what the trace shows.
  enum class Kind { other, mouseObject, mouse, keyboard, scroll, plain };

  SimEvent(Kind kind, uint32_t type) : kind_(kind), type_(type) {}

  uint32_t type() const override { return type_; }
  int64_t integerValueField(uint32_t field) const override;
  void setIntegerValueField(uint32_t field, int64_t value) override { fields_[field] = value; }
  void setLocation(platform::Point location) override { location_ = location; }
  void setWindowLocation(platform::Point location) override {
    if (windowLocationSupported)
      windowLocation_ = location;
  }
  void setFlags(uint64_t flags) override { flags_ = flags; }
  std::optional<quartz::AppKitEventView> appKitView() const override;

  Kind kind() const { return kind_; }
  std::optional<platform::Point> location() const { return location_; }
  uint64_t flags() const { return flags_; }
  int64_t windowNumber() const;
  // The "event" object of a "post" trace line.
  nlohmann::json traceJson() const;

  // Values the platform fills in (not "set by the helper").
  std::map<uint32_t, int64_t> platformFields;
  int64_t objectWindowNumber = 0;  // event objects
  int16_t subtype = 0;             // other events
  uint16_t keyCode = 0;
  bool keyDown = false;
  std::array<int32_t, 3> wheel{};
  quartz::CGScrollEventUnit units = quartz::kCGScrollEventUnitPixel;
  int64_t clickCount = 0;
  float pressure = 0;
  // False on a desktop built without the window-location call.
  bool windowLocationSupported = true;

 private:
  Kind kind_;
  uint32_t type_;
  std::map<uint32_t, int64_t> fields_;  // exactly the fields set on the event
  std::optional<platform::Point> location_;
  std::optional<platform::Point> windowLocation_;
  uint64_t flags_ = 0;
};

class SimTap;

class SimEvents final : public quartz::Events {
 public:
  // `windowLocation`: whether the desktop has the window-location call (a
  // system without it is how the fallback is tested).
  SimEvents(SimContext& context, SimAccessibility& accessibility, bool windowLocation = true);
  ~SimEvents() override;

  bool hasWindowLocation() const override { return windowLocation_; }
  quartz::Event createOtherEvent(const quartz::OtherEventParams& params) override;
  quartz::Event createMouseEventObject(const quartz::MouseEventParams& params) override;
  quartz::EventSource createEventSource(quartz::CGEventSourceStateID state) override;
  quartz::Event createMouseEvent(const quartz::EventSource& source,
                                 uint32_t type,
                                 platform::Point location,
                                 quartz::CGMouseButton button) override;
  quartz::Event createKeyboardEvent(const quartz::EventSource& source,
                                    uint16_t keyCode,
                                    bool keyDown) override;
  quartz::Event createScrollWheelEvent2(const quartz::EventSource& source,
                                        quartz::CGScrollEventUnit units,
                                        uint32_t wheelCount,
                                        int32_t wheel1,
                                        int32_t wheel2,
                                        int32_t wheel3) override;
  void postToPid(int32_t pid, const quartz::Event& event) override;
  quartz::EventTap tapCreateForPid(int32_t pid,
                                   quartz::CGEventTapPlacement placement,
                                   quartz::CGEventTapOptions options,
                                   uint64_t eventsOfInterest,
                                   quartz::EventTapCallBack callback,
                                   void* userInfo) override;
  quartz::RunLoopSource createRunLoopSource(const quartz::EventTap& tap) override;
  void addSourceToMainRunLoop(const quartz::RunLoopSource& source) override;
  void removeSourceFromMainRunLoop(const quartz::RunLoopSource& source) override;
  void tapEnable(const quartz::EventTap& tap, bool enable) override;
  bool tapIsEnabled(const quartz::EventTap& tap) override;
  bool machPortIsValid(const quartz::EventTap& tap) override;
  void machPortInvalidate(const quartz::EventTap& tap) override;

  // ---- Script actions and tests ----
  // An event from another process (source pid `sourcePid`) reaches `pid`
  // the way posted events do, without being a "post".
  void deliverFromElsewhere(int32_t pid, std::shared_ptr<SimEvent> event, int32_t sourcePid);
  // The system disables the taps of `pid`; each callback learns why.
  void disableTaps(int32_t pid, uint32_t reason);
  // Every event posted by the helper so far, with its target pid.
  const std::vector<std::pair<int32_t, std::shared_ptr<const SimEvent>>>& posted() const {
    return posted_;
  }
  // A tap went away without being invalidated.
  void tapDestroyed(const SimTap& tap);
  // The taps still alive, in creation order, as JSON: pid, mask, enabled,
  // valid and whether their source is in the run loop.
  nlohmann::json describeTaps() const;

 private:
  std::shared_ptr<SimEvent> make(SimEvent::Kind kind, uint32_t type) const;
  void deliver(int32_t pid, const std::shared_ptr<SimEvent>& event);
  void appReceives(int32_t pid, const quartz::Event& event);
  void mouseDown(App& app, const SimEvent& event);
  void keyDown(App& app, const quartz::Event& event);

  SimContext& context_;
  SimAccessibility& accessibility_;
  bool windowLocation_;
  std::vector<std::weak_ptr<SimTap>> taps_;  // creation order
  std::vector<std::pair<int32_t, std::shared_ptr<const SimEvent>>> posted_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cuh::sim
