// "scroll": an accessibility page scroll when the caller asks for it and an
// element under the point offers one, otherwise one pixel scroll-wheel event.
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
void startScroll(platform::Platform& platform,
                 ForegroundGuard& guard,
                 const Json& params,
                 Reply reply);

}  // namespace cuh
