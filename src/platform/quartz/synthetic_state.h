// Synthetic active/key state of a background window: the pieces of the
// recipe shared with tests. The operations themselves are members of
// QuartzForegroundProtection.
#pragma once

#include <cstdint>

#include "platform/process.h"

namespace cuh::quartz {

// A new state marker, uniform over 1 … 2^63−1 from the system random number
// generator; never 0, which means "no marker".
int64_t drawStateMarker(platform::ProcessServices& process);

// How far outside the window's top-left corner the focus click lands.
inline constexpr double kFocusClickOffset = 32.0;
// The pause between the focus click's down and up.
inline constexpr double kFocusClickPause = 0.02;

}  // namespace cuh::quartz
