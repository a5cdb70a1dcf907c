// The real macOS services behind the platform interface.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace cuh::macos {

// Builds the platform over the Apple frameworks. Call it on the main thread,
// before anything else touches AppKit. On failure returns null and sets
// `error` to one line.
std::unique_ptr<platform::Platform> createMacPlatform(std::string* error);

}  // namespace cuh::macos
