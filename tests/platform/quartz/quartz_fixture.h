// The Quartz mechanism of foreground protection on the protection scene:
// the simulated desktop's own QuartzForegroundProtection under the virtual
// clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/quartz/focus_controller.h"
#include "platform/quartz/foreground_protection.h"
#include "support/protection_scene.h"
#include "support/row_name.h"
#include "support/test_desktop.h"

namespace cuh::testing {

using platform::ProtectionOutcome;
using quartz::FocusContext;
using quartz::FocusController;

// Members are public so that table rows (lambdas) can change the desktop.
class QuartzFixture : public ::testing::Test, public TestDesktop {
 public:
  void SetUp() override { load(guardScene()); }

  quartz::QuartzForegroundProtection& protection() {
    return desktop->quartz().foregroundProtection();
  }

  // The target's controller armed for the user's window, mode not set.
  std::shared_ptr<FocusController> armed(int32_t pid = kTargetPid) {
    auto result = protection().controller(pid, userForeground());
    EXPECT_EQ(result.outcome, ProtectionOutcome::done);
    return result.controller;
  }

  // The target's controller armed in semantic-guard mode for its window.
  std::shared_ptr<FocusController> armSemantic() {
    auto arming = protection().armSemanticGuard(kTargetPid, kTargetWindow, userForeground());
    EXPECT_EQ(arming.outcome, ProtectionOutcome::done);
    return protection().controllerFor(kTargetPid);
  }

  // The synthetic state of the target's focused window.
  ProtectionOutcome establish() {
    return protection().establishSyntheticState(kTargetPid, kTargetWindow, desktop->element("note"),
                                                windowBounds(kTargetWindow), userForeground());
  }

  int64_t nextMouseEventNumber() { return desktop->quartz().mouseEventNumbers().next(); }

  std::vector<std::string> tapVerdicts(int32_t pid = kTargetPid) const {
    return TestDesktop::tapVerdicts(pid);
  }
};

}  // namespace cuh::testing
