// "key": one key with its modifiers held around it, after focusing the element
// at a point; Command-A selects all text through accessibility instead.
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
void startKey(platform::Platform& platform,
              ForegroundGuard& guard,
              const Json& params,
              Reply reply);

}  // namespace cuh
