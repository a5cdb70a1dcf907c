// Synthetic active/key state as posted input asks for it: the foreground
// process needs none, only a window posted input can reach takes it, a
// refusal answers with its message, and how waiting for it ends.
#include "guard/synthetic_state.h"

#include "guard/guard_fixture.h"

namespace cuh::testing {
namespace {

class SyntheticState : public GuardFixture {
 protected:
  void establish() {
    guard->establishSyntheticState(kTargetPid, kTargetWindow,
                                   windowElement(kTargetPid, kTargetWindow),
                                   windowBounds(kTargetWindow), userForeground());
  }
  double uptime() { return desktop->clock().uptime(); }
};

TEST_F(SyntheticState, TargetInFrontNeedsNothing) {
  platform::ForegroundSnapshot targetInFront{kTargetPid, kTargetWindow};
  apply(R"({"frontmost": 200})");
  auto window = windowElement(kTargetPid, kSecondWindow);
  guard->requireInternallyFocusedWindow(kTargetPid, window, targetInFront);
  guard->establishSyntheticState(kTargetPid, kSecondWindow, window, windowBounds(kSecondWindow),
                                 targetInFront);
  EXPECT_TRUE(trace("post").empty());
  EXPECT_TRUE(trace("tapCreated").empty());
  EXPECT_TRUE(protection().controllers().empty());
  EXPECT_FALSE(guard->syntheticStateReady(kTargetPid, kSecondWindow, targetInFront))
      << "another window of the frontmost app is not its front window";
  EXPECT_TRUE(guard->syntheticStateReady(kTargetPid, kTargetWindow, targetInFront));
  bool ran = false;
  guard->afterSyntheticStateReady(kTargetPid, kSecondWindow, targetInFront, 0, [&] { ran = true; });
  EXPECT_TRUE(ran) << "runs before returning";
}

TEST_F(SyntheticState, OnlyTheAppsFocusedWindowTakesPostedInput) {
  guard->requireInternallyFocusedWindow(kTargetPid, windowElement(kTargetPid, kTargetWindow),
                                        userForeground());
  EXPECT_EQ(failureOf([&] {
              guard->requireInternallyFocusedWindow(
                  kTargetPid, windowElement(kTargetPid, kSecondWindow), userForeground());
            }),
            "The exact target is not the app's internally active window, so macOS cannot safely "
            "route background pointer or key input to it. Use an accessibility element action or "
            "target the app's active window");

  Json scene = guardScene();
  scene["apps"][1]["focusedWindow"] = nullptr;
  load(scene);
  EXPECT_NE(failureOf([&] {
              guard->requireInternallyFocusedWindow(
                  kTargetPid, windowElement(kTargetPid, kTargetWindow), userForeground());
            }),
            "");
}

TEST_F(SyntheticState, RefusedWindowFocusPostsNothing) {
  Json scene = guardScene();
  scene["apps"][1]["rejects"] = {"AXFocusedWindow"};
  load(scene);
  EXPECT_EQ(failureOf([&] { establish(); }),
            "The target app rejected synthetic background window focus; no input was sent");
  EXPECT_TRUE(trace("post").empty());
}

class ReadinessWait : public SyntheticState {
 protected:
  // The target never sees its activation events: the state never becomes
  // ready.
  void SetUp() override {
    Json scene = guardScene();
    scene["apps"][1]["dropsActivation"] = true;
    load(scene);
  }
  void wait() {
    guard->afterSyntheticStateReady(kTargetPid, kTargetWindow, userForeground(), 0, [this] {
      ++completions;
      endedAt = uptime();
    });
  }
  int completions = 0;
  double endedAt = 0;
};

TEST_F(ReadinessWait, ReadyStateEndsTheWaitAtTheNextCheck) {
  load(guardScene());
  establish();
  double start = uptime();
  wait();
  EXPECT_EQ(completions, 0);
  run();
  EXPECT_EQ(completions, 1);
  EXPECT_NEAR(endedAt - start, kReadinessInterval, 1e-9);
  EXPECT_TRUE(guard->syntheticStateReady(kTargetPid, kTargetWindow, userForeground()));
}

TEST_F(ReadinessWait, GivesUpAfterThirtyDelayedChecks) {
  establish();
  double start = uptime();
  wait();
  run();
  EXPECT_EQ(completions, 1);
  EXPECT_NEAR(endedAt - start, kReadinessAttempts * kReadinessInterval, 1e-9);
  EXPECT_FALSE(guard->syntheticStateReady(kTargetPid, kTargetWindow, userForeground()));
}

TEST_F(ReadinessWait, ForegroundChangeEndsTheWaitAtTheNextCheck) {
  establish();
  double start = uptime();
  wait();
  desktop->loop().postDelayed(0.012, [this] { apply(R"({"frontmost": 300})"); });
  run();
  EXPECT_EQ(completions, 1);
  EXPECT_NEAR(endedAt - start, 3 * kReadinessInterval, 1e-9);
}

TEST_F(ReadinessWait, ChangedForegroundRunsTheCompletionAtOnce) {
  establish();
  apply(R"({"frontmost": 300})");
  wait();
  EXPECT_EQ(completions, 1);
}

TEST_F(ReadinessWait, EndsSilentlyWhenTheOwnerIsGone) {
  establish();
  wait();
  guard.reset();
  run();
  EXPECT_EQ(completions, 0);
}

}  // namespace
}  // namespace cuh::testing
