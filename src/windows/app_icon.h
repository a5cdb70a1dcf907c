// "app_icon": the icon of an application bundle (or any file) as a square
// PNG image in Base64.
#pragma once

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// The edge length "app_icon" renders for its "pixels" parameter: the
// number's integer part (64 when missing or not a number), clamped to
// 16 ... 256.
int iconEdgeLength(const Json& params);

// "app_icon": {"base64": PNG bytes} of the icon of "path" (required)
// drawn into an n x n RGBA bitmap, n = iconEdgeLength. Raises HelperFailure
// for a missing "path" or a failed rendering.
Json appIcon(platform::Platform& platform, const Json& params);

}  // namespace cuh
