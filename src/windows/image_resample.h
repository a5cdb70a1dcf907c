// Resampling of RGBA images for the application icon: area averaging where an
// axis shrinks, bilinear interpolation where it grows. Colours are weighted
// by alpha, so transparent pixels do not bleed their (meaningless) colour
// into the edges of the icon.
#pragma once

#include "platform/workspace.h"

namespace cuh {

// `source` resampled to width x height (both at least 1). An empty or
// malformed source gives a fully transparent image.
platform::Image resampleRgba(const platform::Image& source, int width, int height);

}  // namespace cuh
