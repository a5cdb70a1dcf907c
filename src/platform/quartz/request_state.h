// Giving back what a request borrowed from a target (restore) and forgetting
// it (clear), at the end of every request and when controllers go.
#pragma once

#include <optional>

#include "platform/foreground.h"
#include "platform/quartz/focus_controller.h"
#include "platform/quartz/host.h"

namespace cuh::quartz {

// Puts the target's saved focus state back, but only when the same
// foreground window is still in front (`foreground`, the current snapshot),
// the user did not take over and the target process is the one borrowed
// from; then always clears the request state.
void restoreRequestState(Host& host,
                         FocusController& controller,
                         const std::optional<platform::ForegroundSnapshot>& foreground);

// Forgets the borrowed state and turns protection off. The tap stays
// installed and enabled; with protection off it passes every event.
void clearRequestState(FocusController& controller);

}  // namespace cuh::quartz
