// "drag": a left-button drag in a straight line between two points of one
// exact window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "guard/foreground_guard.h"
#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/reply.h"

namespace cuh {

inline constexpr int kDragSteps = 16;

// The drag's path in screen points: the start S, then S + (E − S)·k/16 for
// k = 1 … 16, the last exactly E.
std::vector<platform::Point> dragPath(platform::Point start, platform::Point end);

// Throws HelperFailure for every failure before anything is scheduled;
// once it returns, the request is answered exactly once through `reply`
// (see input/input_pipeline.h).
void startDrag(platform::Platform& platform,
               ForegroundGuard& guard,
               const Json& params,
               Reply reply);

}  // namespace cuh
