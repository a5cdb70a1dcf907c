// How long posted input waits for the synthetic active/key state of its
// window to be confirmed.
#pragma once

namespace cuh {

// Readiness polling: interval and the number of delayed checks.
inline constexpr double kReadinessInterval = 0.005;
inline constexpr int kReadinessAttempts = 30;

}  // namespace cuh
