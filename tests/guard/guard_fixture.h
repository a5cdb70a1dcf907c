// The foreground-protection tests of the core: the protection scene with a
// ForegroundGuard working on it under the virtual clock.
#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "guard/foreground_guard.h"
#include "support/failure_message.h"
#include "support/protection_scene.h"
#include "support/row_name.h"
#include "support/test_desktop.h"
#include "windows/exact_window.h"

namespace cuh::testing {

// Members are public so that table rows (lambdas) can change the desktop.
class GuardFixture : public ::testing::Test, public TestDesktop {
 public:
  void SetUp() override { load(guardScene()); }

  void load(const Json& scene) override {
    guard.reset();
    TestDesktop::load(scene);
    guard = std::make_unique<ForegroundGuard>(*desktop);
  }

  // The exact accessibility window of (pid, windowID), found the way
  // requests find it.
  platform::AXElement windowElement(int32_t pid, uint32_t windowID) {
    auto row = platform::windowRow(*desktop, pid, windowID);
    EXPECT_TRUE(row.has_value());
    return exactWindow(*desktop, pid, windowID, *row);
  }

  // The simulated desktop's own protection, to look at what the guard
  // armed.
  quartz::QuartzForegroundProtection& protection() {
    return desktop->quartz().foregroundProtection();
  }

  std::vector<std::string> tapVerdicts(int32_t pid = kTargetPid) const {
    return TestDesktop::tapVerdicts(pid);
  }

  std::unique_ptr<ForegroundGuard> guard;  // goes before the desktop
};

}  // namespace cuh::testing
