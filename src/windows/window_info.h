// "window_info": whether one window is still there, still owned by the
// expected process and visibly on screen, with its frame. Reads only the
// window server's list.
#pragma once

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// "window_info": the result object for "windowId" (required, an
// unsigned 32-bit window id) and "ownerPid" (optional, a 32-bit process id;
// 0 or negative means no expectation). Raises HelperFailure only for a
// missing "windowId" or an id out of range.
Json windowInfo(platform::Platform& platform, const Json& params);

}  // namespace cuh
