// "list_apps" and "launch_app": the running applications a user would
// recognise, and launching one in the background.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/reply.h"

namespace cuh {

// listApplications(): the array of application rows (the result's "apps"),
// in the workspace's order: regular applications with a non-empty name.
// Never fails.
Json listApplications(platform::Platform& platform);

// "launch_app": resolves "app" (a path when it contains
// "/", else a bundle identifier when it contains ".", falling back to an
// application name) and asks the workspace to open it without activating it
// and without adding it to the recent items. Raises HelperFailure, before
// anything is scheduled, when "app" is missing or names no application.
// Otherwise returns at once; the request is answered later on the main
// loop, exactly once, through `reply` with {"launched": true, "pid": n} or
// the platform's error description.
void startLaunchApplication(platform::Platform& platform, const Json& params, Reply reply);

}  // namespace cuh
