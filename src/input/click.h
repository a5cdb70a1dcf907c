// "click": a single, double or triple left or right click at a point of one exact
// window, or at the centre of an observed element in it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "guard/foreground_guard.h"
#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/reply.h"

namespace cuh {

// Throws HelperFailure for every failure before anything is scheduled;
// once it returns, the request is answered exactly once through `reply`
// (see input/input_pipeline.h).
void startClick(platform::Platform& platform,
                ForegroundGuard& guard,
                const Json& params,
                Reply reply);

}  // namespace cuh
