// The JSON value type of requests, parameters and results.
#pragma once

#include <nlohmann/json.hpp>

namespace cuh {
using Json = nlohmann::json;
}  // namespace cuh
