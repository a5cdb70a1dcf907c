// "list_windows": one row per ordinary application window, front to back,
// with its frame, its application's focus mark and its stacking position.
#pragma once

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// listWindows(): the array of window rows (the result's "windows"). Never
// fails; an unreadable window list gives an empty array. Each application is
// asked for its focused window at most once per listing.
Json listWindows(platform::Platform& platform);

}  // namespace cuh
