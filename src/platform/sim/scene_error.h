// The error of a scene that cannot be read or is invalid.
#pragma once

#include <stdexcept>
#include <string>

namespace cuh::sim {

// what() is the one line the binary prints: the file (when there is one),
// the JSON path of the bad entry and the problem.
class SceneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace cuh::sim
