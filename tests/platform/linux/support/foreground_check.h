// What every test that acts in the background checks afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/linux/foreground_giveback.h"

namespace cuh::linux_desktop::testing {

// The active window is what it was, the windows that were there keep
// their order (windows that opened meanwhile may stand anywhere), and
// nothing stands in front of what was the front window.
inline void expectForegroundKept(const ForegroundState& before, const ForegroundState& after) {
  EXPECT_EQ(after.activeWindow, before.activeWindow);
  std::vector<::Window> kept;
  for (::Window window : after.stacking) {
    if (std::find(before.stacking.begin(), before.stacking.end(), window) != before.stacking.end())
      kept.push_back(window);
  }
  EXPECT_EQ(kept, before.stacking);
  if (!before.stacking.empty() && !after.stacking.empty()) {
    EXPECT_EQ(after.stacking.front(), before.stacking.front());
  }
}

}  // namespace cuh::linux_desktop::testing
