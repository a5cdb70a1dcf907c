// Standard Base64 (RFC 4648 alphabet, "=" padding), without line breaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cuh {

std::string base64Encode(const std::vector<uint8_t>& bytes);

}  // namespace cuh
