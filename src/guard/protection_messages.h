// The answer to every way arming a target or establishing the synthetic
// state can fail.
#pragma once

#include <string>
#include <string_view>

#include "platform/foreground_protection.h"

namespace cuh {

// Throws the HelperFailure of a failed outcome; returns for done.
void throwUnlessDone(platform::ProtectionOutcome outcome);

// The refusal of a method that needs foreground protection on a desktop
// that has none yet.
std::string methodNotAvailableMessage(std::string_view method);

}  // namespace cuh
