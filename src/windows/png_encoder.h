// PNG encoding of an 8-bit RGBA bitmap (straight alpha) with libpng.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace cuh {

// The PNG file bytes of a width x height bitmap whose rows run top to bottom,
// 4 bytes per pixel (R, G, B, A). None when the sizes do not fit the data or
// libpng fails.
std::optional<std::vector<uint8_t>> encodePngRgba(int width,
                                                  int height,
                                                  const std::vector<uint8_t>& rgba);

}  // namespace cuh
