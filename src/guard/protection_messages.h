// The answer to every way arming a target or establishing the synthetic
// state can fail.
#pragma once

#include "platform/foreground_protection.h"

namespace cuh {

// Throws the HelperFailure of a failed outcome; returns for done.
void throwUnlessDone(platform::ProtectionOutcome outcome);

}  // namespace cuh
