// The Linux desktop: X11 (EWMH) and the accessibility bus behind the
// platform interfaces. The main loop is the portable one, also waiting on
// the X connection and the bus; the X connection lost ends the helper as
// the end of its input does.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace cuh::linux_desktop {

// Opens the display named by $DISPLAY. Null with `error` set to the one
// line to print (naming the display) when it cannot be opened.
std::unique_ptr<platform::Platform> createLinuxPlatform(const platform::PlatformOptions& options,
                                                        std::string* error);

}  // namespace cuh::linux_desktop
