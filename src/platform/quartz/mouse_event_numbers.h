// The process-wide source of mouse event numbers for every synthetic mouse
// gesture (the focus click of the synthetic state and the clicks of
// background input). A gesture reserves two consecutive numbers, for its
// down and its up. It starts at 1 and only grows, so no number is used
// twice within the process.
#pragma once

#include <cstdint>

namespace cuh::quartz {

class MouseEventNumbers {
 public:
  // Reserves two numbers and returns the first.
  int64_t reserve() {
    int64_t n = next_;
    next_ += 2;
    return n;
  }
  int64_t next() const { return next_; }

 private:
  int64_t next_ = 1;
};

}  // namespace cuh::quartz
