// Synthetic active/key state: what establishing it posts and changes, when it
// is ready, and how waiting for it ends.
#include "guard/synthetic_state.h"

#include <deque>

#include "guard/focus_tap_callback.h"
#include "guard/guard_fixture.h"

namespace cuh::testing {
namespace {

class SyntheticState : public GuardFixture {
 protected:
  void establish() {
    guard->establishSyntheticState(kTarget, kTargetWindow, windowElement(kTarget, kTargetWindow),
                                   windowBounds(kTargetWindow), userForeground());
  }
  double uptime() { return desktop->clock().uptime(); }
};

TEST_F(SyntheticState, PostsWindowStateMarkedActivationAndFocusClick) {
  double before = uptime();
  establish();
  EXPECT_NEAR(uptime() - before, kFocusClickPause, 1e-9) << "the one blocking pause";

  auto controller = guard->controllerFor(kTarget);
  ASSERT_TRUE(controller);
  int64_t marker = controller->context().expectedStateMarker;
  EXPECT_GT(marker, 0);

  auto posts = trace("post");
  ASSERT_EQ(posts.size(), 4U);
  for (const auto& post : posts)
    EXPECT_EQ(post["pid"], kTarget);

  const Json& windowState = posts[0]["event"];
  EXPECT_EQ(windowState["type"], 21);
  EXPECT_EQ(windowState["subtype"], -32768);
  EXPECT_EQ(windowState["flags"], 0);
  EXPECT_EQ(windowState["windowNumber"], kTargetWindow);
  EXPECT_EQ(windowState["x"], 0);
  EXPECT_EQ(windowState["y"], 0);
  EXPECT_EQ(windowState["fields"], Json::object());

  const Json& activation = posts[1]["event"];
  EXPECT_EQ(activation["type"], 13);
  EXPECT_EQ(activation["subtype"], 1);
  EXPECT_EQ(activation["flags"], 0xC0000);
  EXPECT_EQ(activation["windowNumber"], kTargetWindow);
  EXPECT_EQ(activation["fields"], (Json{{"42", marker}}));

  // Window 21 is at (100, 120): the click lands 32 points above and left.
  for (int half = 0; half < 2; ++half) {
    const Json& click = posts[2 + half]["event"];
    SCOPED_TRACE(half == 0 ? "down" : "up");
    EXPECT_EQ(click["type"], half == 0 ? 1 : 2);
    EXPECT_EQ(click["flags"], 0);
    EXPECT_EQ(click["x"], 68);
    EXPECT_EQ(click["y"], 88);
    EXPECT_EQ(click["windowX"], -32);
    EXPECT_EQ(click["windowY"], -32);
    EXPECT_EQ(click["windowNumber"], kTargetWindow);
    EXPECT_EQ(click["clickCount"], 1);
    EXPECT_EQ(click["pressure"], half == 0 ? 1.0 : 0.0);
    EXPECT_EQ(click["fields"], (Json{{"0", 1 + half},
                                     {"1", 1},
                                     {"3", 0},
                                     {"7", 3},
                                     {"91", kTargetWindow},
                                     {"92", kTargetWindow}}));
  }
  EXPECT_EQ(guard->nextMouseEventNumber(), 3);

  auto sets = trace("set");
  ASSERT_EQ(sets.size(), 2U);
  EXPECT_EQ(sets[0]["target"], "app:200");
  EXPECT_EQ(sets[0]["attribute"], "AXFocusedWindow");
  EXPECT_EQ(sets[0]["value"], "note");
  EXPECT_EQ(sets[1]["target"], "note");
  EXPECT_EQ(sets[1]["attribute"], "AXFocused");
  EXPECT_EQ(sets[1]["value"], true);

  EXPECT_FALSE(guard->syntheticStateReady(kTarget, kTargetWindow, userForeground()))
      << "the tap has not seen the marked activation yet";
  run();
  EXPECT_TRUE(controller->context().sawSyntheticActivation);
  EXPECT_TRUE(guard->syntheticStateReady(kTarget, kTargetWindow, userForeground()));
}

TEST_F(SyntheticState, EveryEstablishDrawsANewMarkerAndOnlyTheCurrentOneCounts) {
  establish();
  auto controller = guard->controllerFor(kTarget);
  int64_t first = controller->context().expectedStateMarker;
  run();
  guard->restoreAfterRequest();

  establish();
  int64_t second = controller->context().expectedStateMarker;
  EXPECT_NE(first, second);
  EXPECT_EQ(guard->nextMouseEventNumber(), 5) << "event numbers only grow";

  platform::OtherEventParams params;
  params.type = platform::NSEventTypeAppKitDefined;
  params.windowNumber = kTargetWindow;
  params.subtype = platform::NSEventSubtypeApplicationActivated;
  platform::Event late = desktop->events().createOtherEvent(params);
  late->setIntegerValueField(platform::kCGEventSourceUserData, first);
  focusTapCallback(nullptr, params.type, late, &controller->context());
  EXPECT_FALSE(controller->context().sawSyntheticActivation);
}

TEST_F(SyntheticState, MarkerIsNeverZeroAndUsesSixtyThreeBits) {
  class Draws final : public platform::ProcessServices {
   public:
    explicit Draws(std::deque<uint64_t> values) : values_(std::move(values)) {}
    int killZero(int32_t) override { return 0; }
    int32_t currentPid() override { return 1; }
    double systemUptime() override { return 0; }
    double currentDate() override { return 0; }
    uint64_t random64() override {
      uint64_t v = values_.front();
      values_.pop_front();
      return v;
    }
    std::string uuidString() override { return ""; }
    std::string currentDirectory() override { return "/"; }

   private:
    std::deque<uint64_t> values_;
  };
  Draws zeroes({0, uint64_t{1} << 63, ~uint64_t{0}});
  EXPECT_EQ(drawStateMarker(zeroes), INT64_MAX);
  Draws high({(uint64_t{1} << 63) | 5});
  EXPECT_EQ(drawStateMarker(high), 5);
}

TEST_F(SyntheticState, TargetInFrontNeedsNothing) {
  platform::ForegroundSnapshot targetInFront{kTarget, kTargetWindow};
  apply(R"({"frontmost": 200})");
  auto window = windowElement(kTarget, kOtherWindow);
  guard->requireInternallyFocusedWindow(kTarget, window, targetInFront);
  guard->establishSyntheticState(kTarget, kOtherWindow, window, windowBounds(kOtherWindow),
                                 targetInFront);
  EXPECT_TRUE(trace("post").empty());
  EXPECT_TRUE(guard->controllers().empty());
  EXPECT_FALSE(guard->syntheticStateReady(kTarget, kOtherWindow, targetInFront))
      << "another window of the frontmost app is not its front window";
  EXPECT_TRUE(guard->syntheticStateReady(kTarget, kTargetWindow, targetInFront));
  bool ran = false;
  guard->afterSyntheticStateReady(kTarget, kOtherWindow, targetInFront, 0, [&] { ran = true; });
  EXPECT_TRUE(ran) << "runs before returning";
}

TEST_F(SyntheticState, OnlyTheAppsFocusedWindowTakesPostedInput) {
  guard->requireInternallyFocusedWindow(kTarget, windowElement(kTarget, kTargetWindow),
                                        userForeground());
  EXPECT_EQ(failureOf([&] {
              guard->requireInternallyFocusedWindow(kTarget, windowElement(kTarget, kOtherWindow),
                                                    userForeground());
            }),
            "The exact target is not the app's internally active window, so macOS cannot safely "
            "route background pointer or key input to it. Use an accessibility element action or "
            "target the app's active window");

  Json scene = guardScene();
  scene["apps"][1]["focusedWindow"] = nullptr;
  load(scene);
  EXPECT_NE(failureOf([&] {
              guard->requireInternallyFocusedWindow(kTarget, windowElement(kTarget, kTargetWindow),
                                                    userForeground());
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
  auto controller = guard->controllerFor(kTarget);
  ASSERT_TRUE(controller);
  EXPECT_TRUE(controller->holdsBorrowedState()) << "kept so the end of the request restores";
  EXPECT_EQ(guard->nextMouseEventNumber(), 1);
}

TEST_F(SyntheticState, ReadinessNeedsEveryPiece) {
  struct Case {
    const char* name;
    std::function<void(SyntheticState&, FocusController&)> change;
    uint32_t windowID;
  };
  const Case cases[] = {
      {"ready", [](SyntheticState&, FocusController&) {}, kTargetWindow},
      {"another window", [](SyntheticState&, FocusController&) {}, kOtherWindow},
      {"user intervened",
       [](SyntheticState&, FocusController& c) { c.context().userIntervened = true; },
       kTargetWindow},
      {"activation not seen",
       [](SyntheticState&, FocusController& c) { c.context().sawSyntheticActivation = false; },
       kTargetWindow},
      {"tap disabled",
       [](SyntheticState& t, FocusController& c) { t.desktop->events().tapEnable(c.tap(), false); },
       kTargetWindow},
      {"focus moved to another window",
       [](SyntheticState& t, FocusController&) {
         auto& ax = t.desktop->accessibility();
         ax.setAttributeValue(
             ax.createApplication(kTarget), "AXFocusedWindow",
             platform::Value(platform::Value::Storage(t.windowElement(kTarget, kOtherWindow))));
       },
       kTargetWindow},
      {"target relaunched",
       [](SyntheticState& t, FocusController&) { t.apply(R"({"relaunch": 200})"); }, kTargetWindow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load(guardScene());
    establish();
    run();
    auto controller = guard->controllerFor(kTarget);
    c.change(*this, *controller);
    EXPECT_EQ(guard->syntheticStateReady(kTarget, c.windowID, userForeground()),
              std::string(c.name) == "ready");
  }
  load(guardScene());
  EXPECT_FALSE(guard->syntheticStateReady(kTarget, kTargetWindow, userForeground()))
      << "no controller";
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
    guard->afterSyntheticStateReady(kTarget, kTargetWindow, userForeground(), 0, [this] {
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
  EXPECT_TRUE(guard->syntheticStateReady(kTarget, kTargetWindow, userForeground()));
}

TEST_F(ReadinessWait, GivesUpAfterThirtyDelayedChecks) {
  establish();
  double start = uptime();
  wait();
  run();
  EXPECT_EQ(completions, 1);
  EXPECT_NEAR(endedAt - start, kReadinessAttempts * kReadinessInterval, 1e-9);
  EXPECT_FALSE(guard->syntheticStateReady(kTarget, kTargetWindow, userForeground()));
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
