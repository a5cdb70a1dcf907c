// What the Quartz mechanism works on: the platform it serves (accessibility,
// workspace, window list, process services, main loop) and that platform's
// Quartz events.
#pragma once

#include "platform/platform.h"
#include "platform/quartz/events.h"

namespace cuh::quartz {

struct Host {
  platform::Platform& platform;
  Events& events;
};

}  // namespace cuh::quartz
