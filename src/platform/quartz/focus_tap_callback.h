// The focus tap's callback: recognises the marked synthetic activation,
// records the user taking over, and keeps the target from taking the
// foreground while protection is on.
#pragma once

#include <cstdint>

#include "platform/quartz/events.h"

namespace cuh::quartz {

// The tap callback. `userInfo` is the controller's FocusContext. Returns the
// event to let it pass, null to drop it. Runs on the main thread. Never
// throws: an event whose decision fails passes unchanged.
Event focusTapCallback(void* proxy, uint32_t type, const Event& event, void* userInfo);

}  // namespace cuh::quartz
