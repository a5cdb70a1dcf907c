// Controllers: creation with their tap, reuse, replacement, the sweep and
// teardown.
#include "platform/quartz/focus_controller.h"

#include <algorithm>

#include "platform/quartz/quartz_fixture.h"

namespace cuh::testing {
namespace {

class FocusControllers : public QuartzFixture {
 protected:
  std::vector<Json> tapLines() const {
    std::vector<Json> out;
    for (const auto& line : desktop->traceLines()) {
      if (line["kind"] == "tapCreated" || line["kind"] == "tapRemoved")
        out.push_back(line);
    }
    return out;
  }
};

TEST_F(FocusControllers, FirstUseInstallsAnEnabledTapOnTheTargetAndArms) {
  auto controller = armed();
  ASSERT_TRUE(controller);
  auto lines = tapLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0]["kind"], "tapCreated");
  EXPECT_EQ(lines[0]["pid"], kTargetPid);
  EXPECT_EQ(lines[0]["mask"], 0x260240A);
  EXPECT_TRUE(desktop->events().tapIsEnabled(controller->tap()));
  EXPECT_EQ(protection().controllerFor(kTargetPid), controller);

  const FocusContext& context = controller->context();
  EXPECT_EQ(context.controlledPID, kTargetPid);
  EXPECT_EQ(context.helperPID, desktop->process().currentPid());
  EXPECT_EQ(context.foregroundPID, kUserPid);
  EXPECT_EQ(context.foregroundWindowID, kUserWindow);
  EXPECT_TRUE(context.protecting);
  EXPECT_FALSE(context.userIntervened);
  EXPECT_FALSE(context.semanticGuardActive) << "the caller sets the mode";
  EXPECT_EQ(context.eventTap, controller->tap());
  EXPECT_FALSE(controller->holdsBorrowedState());
}

TEST_F(FocusControllers, RefusesTargetsThatDoNotRun) {
  auto missing = protection().controller(999, userForeground());
  EXPECT_EQ(missing.outcome, ProtectionOutcome::targetNotRunning);
  EXPECT_EQ(missing.controller, nullptr);
  apply(R"({"terminate": 300})");
  EXPECT_EQ(protection().controller(kThirdPid, userForeground()).outcome,
            ProtectionOutcome::targetNotRunning);
  EXPECT_TRUE(protection().controllers().empty());
  EXPECT_TRUE(tapLines().empty());
}

TEST_F(FocusControllers, TwoRequestsInARowShareTheControllerAndItsTap) {
  auto first = armSemantic();
  apply(R"({"userInput": {"pid": 200, "type": 1}})");
  run();
  ASSERT_TRUE(first->context().userIntervened);
  protection().restoreAfterRequest();

  apply(R"({"frontmost": 300})");
  auto second = protection().controller(kTargetPid, {kThirdPid, kThirdWindow}).controller;
  EXPECT_EQ(second, first);
  EXPECT_EQ(tapLines().size(), 1U) << "no second tap";
  EXPECT_FALSE(second->context().userIntervened);
  EXPECT_TRUE(second->context().protecting);
  EXPECT_EQ(second->context().foregroundPID, kThirdPid);
  EXPECT_EQ(second->context().foregroundWindowID, kThirdWindow);
}

TEST_F(FocusControllers, RelaunchedTargetGetsANewController) {
  auto old = armed();
  std::weak_ptr<FocusController> oldWeak = old;
  old.reset();
  apply(R"({"relaunch": 200})");
  EXPECT_FALSE(oldWeak.lock()->targetsCurrentProcess());

  auto fresh = armed();
  EXPECT_TRUE(oldWeak.expired()) << "the old controller is torn down";
  EXPECT_TRUE(fresh->targetsCurrentProcess());
  auto lines = tapLines();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[1]["kind"], "tapRemoved");
  EXPECT_EQ(lines[2]["kind"], "tapCreated");
}

TEST_F(FocusControllers, ControllerWhoseTapStaysDisabledIsReplaced) {
  auto old = armed();
  desktop->events().tapEnable(old->tap(), false);
  EXPECT_TRUE(old->targetsCurrentProcess());
  EXPECT_FALSE(old->canProtectCurrentProcess());
  quartz::EventTap oldTap = old->tap();
  old.reset();
  auto fresh = armed();
  EXPECT_NE(fresh->tap(), oldTap);
  EXPECT_FALSE(desktop->events().machPortIsValid(oldTap)) << "the old tap was invalidated";
  EXPECT_TRUE(fresh->canProtectCurrentProcess());
}

TEST_F(FocusControllers, SweepDropsControllersOfProcessesThatAreGone) {
  armed(kTargetPid);
  auto mail = armed(kThirdPid);
  protection().sweepControllers();
  EXPECT_EQ(protection().controllers().size(), 2U) << "live processes stay";

  apply(R"({"terminate": 200})");
  protection().sweepControllers();
  EXPECT_EQ(protection().controllerFor(kTargetPid), nullptr);
  EXPECT_EQ(protection().controllerFor(kThirdPid), mail);
  EXPECT_EQ(tapLines().back()["kind"], "tapRemoved");
  EXPECT_EQ(tapLines().back()["pid"], kTargetPid);

  apply(R"({"relaunch": 300})");
  protection().sweepControllers();
  EXPECT_TRUE(protection().controllers().empty()) << "a reused pid is another process";
}

TEST_F(FocusControllers, TeardownDisablesRemovesAndInvalidatesTheTap) {
  auto controller = armed();
  quartz::EventTap tap = controller->tap();
  // Events already on their way when the controller goes must not reach a
  // callback whose context is gone.
  apply(R"({"userInput": {"pid": 200, "type": 1}})");
  controller.reset();
  protection().releaseControllers();
  EXPECT_FALSE(desktop->events().machPortIsValid(tap));
  EXPECT_FALSE(desktop->events().tapIsEnabled(tap));
  run();
  EXPECT_TRUE(tapVerdicts().empty());
  EXPECT_EQ(tapLines().back()["kind"], "tapRemoved");
}

TEST_F(FocusControllers, ForegroundMatchReadsTheCurrentWindowList) {
  auto controller = armed();
  const FocusContext& context = controller->context();
  EXPECT_TRUE(quartz::protectedForegroundMatches(context));
  apply(R"({"raise": 31})");
  EXPECT_TRUE(quartz::protectedForegroundMatches(context))
      << "another app's window is not the user's";
  apply(R"({"closeWindow": 11})");
  EXPECT_FALSE(quartz::protectedForegroundMatches(context));

  FocusContext none = context;
  none.foregroundPID = 0;
  EXPECT_FALSE(quartz::protectedForegroundMatches(none));
}

TEST_F(FocusControllers, ReleaseRestoresThenDropsEveryController) {
  ASSERT_EQ(establish(), ProtectionOutcome::done);
  armed(kThirdPid);
  size_t postsBefore = trace("post").size();
  protection().releaseControllers();
  EXPECT_TRUE(protection().controllers().empty());
  auto posts = trace("post");
  ASSERT_EQ(posts.size(), postsBefore + 1) << "the target's activation is given back";
  EXPECT_EQ(posts.back()["event"]["subtype"], 2);
  auto lines = tapLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const Json& l) { return l["kind"] == "tapRemoved"; }),
            2);
}

}  // namespace
}  // namespace cuh::testing
