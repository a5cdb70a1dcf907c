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
#include "protocol/request_completion.h"

namespace cuh {

inline constexpr int kDragSteps = 16;

// The drag's path in screen points: the start S, then S + (E − S)·k/16 for
// k = 1 … 16, the last exactly E.
std::vector<platform::Point> dragPath(platform::Point start, platform::Point end);

// Throws HelperFailure for every failure before anything is scheduled;
// once it returns, the request is finished exactly once through
// `completion` (see input/input_pipeline.h).
void startDrag(platform::Platform& platform,
               ForegroundGuard& guard,
               std::optional<int64_t> id,
               const Json& params,
               std::weak_ptr<RequestCompletion> completion);

}  // namespace cuh
