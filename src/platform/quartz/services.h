// The two platform services of a backend built on Quartz events (the
// simulated desktop, the macOS adapter): foreground protection and
// background input, sharing the mouse-event counter. The backend owns one
// and hands out its services from its Platform.
#pragma once

#include "platform/quartz/background_input.h"
#include "platform/quartz/foreground_protection.h"
#include "platform/quartz/host.h"
#include "platform/quartz/mouse_event_numbers.h"

namespace cuh::quartz {

class Services {
 public:
  // `platform` is the backend's own platform and `events` its Quartz
  // events; both outlive this object.
  Services(platform::Platform& platform, Events& events)
      : host_{platform, events},
        foregroundProtection_(host_, mouseEventNumbers_),
        backgroundInput_(host_, mouseEventNumbers_) {}
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  QuartzForegroundProtection& foregroundProtection() { return foregroundProtection_; }
  QuartzBackgroundInput& backgroundInput() { return backgroundInput_; }
  MouseEventNumbers& mouseEventNumbers() { return mouseEventNumbers_; }
  Events& events() { return host_.events; }

 private:
  Host host_;
  MouseEventNumbers mouseEventNumbers_;
  QuartzForegroundProtection foregroundProtection_;
  QuartzBackgroundInput backgroundInput_;
};

}  // namespace cuh::quartz
