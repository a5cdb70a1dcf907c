#include "input/click.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_harness.h"

namespace cuh::testing {
namespace {

Json clickParams(Json changes = Json::object()) {
  return withChanges(Json{{"pid", kTargetPid},
                          {"windowId", kTargetWindow},
                          {"x", 400},
                          {"y", 300},
                          {"width", 800},
                          {"height", 600},
                          {"button", "left"},
                          {"clickCount", 1}},
                     changes);
}

Json okButton() {
  return Json{{"role", "AXButton"}, {"title", "OK"}, {"path", {1}}, {"x", 10}, {"y", 50},
              {"width", 80},        {"height", 24}};
}

TEST(ClickTest, SingleLeftClickFollowsTheSyntheticStateAndReportsTheWindow) {
  InputHarness harness;
  Outcome outcome = harness.run(startClick, clickParams());
  ASSERT_FALSE(outcome.error) << *outcome.error;
  ASSERT_EQ(outcome.posts.size(), kSyntheticStatePosts + 2);
  EXPECT_EQ(typesOf(outcome.posts), (std::vector<int64_t>{21, 13, 1, 2, 1, 2}));

  // The focus click took numbers 1 and 2; the click takes 3 and 4.
  const Json& down = outcome.posts[4];
  const Json& up = outcome.posts[5];
  EXPECT_EQ(down["x"], 500);
  EXPECT_EQ(down["y"], 350);
  EXPECT_EQ(down["windowX"], 400);
  EXPECT_EQ(down["windowY"], 300);
  EXPECT_EQ(down["windowNumber"], kTargetWindow);
  EXPECT_EQ(down["flags"], 0);
  EXPECT_EQ(down["fields"], (Json{{"0", 3}, {"1", 1}, {"3", 0}, {"7", 0}, {"91", 21}, {"92", 21}}));
  EXPECT_EQ(down["clickCount"], 1);
  EXPECT_EQ(down["pressure"], 1.0);
  EXPECT_EQ(up["fields"], (Json{{"0", 4}, {"1", 1}, {"3", 0}, {"7", 0}, {"91", 21}, {"92", 21}}));
  EXPECT_EQ(up["pressure"], 0.0);

  const Json& result = *outcome.result;
  EXPECT_EQ(result["sentClickCount"], 1);
  EXPECT_EQ(result["delivery"], "deliveredUnverified");
  EXPECT_EQ(result["targetX"], 400);
  EXPECT_EQ(result["targetY"], 300);
  EXPECT_EQ(result["windowX"], 100);
  EXPECT_EQ(result["windowY"], 50);
  EXPECT_EQ(result["windowWidth"], 800);
  EXPECT_EQ(result["windowHeight"], 600);
  EXPECT_FALSE(result.contains("focusedX"));
  // Posted 0.12 s before the answer, in whole milliseconds of the wall clock.
  ASSERT_TRUE(result["eventPostedAtMs"].is_number_integer());
  double postedAt = harness.desktop().clock().wallTime() - 0.12;
  EXPECT_NEAR(result["eventPostedAtMs"].get<double>(), postedAt * 1000, 1.0);
}

// Event types, click states and pauses of every button and count. The time
// to the answer is the focus click's 0.02 s, one 0.005 s readiness poll (the
// tap sees the marked activation after the focus click), 0.02 s per click,
// 0.06 s between clicks and the 0.12 s settle.
TEST(ClickTest, ButtonsAndCountsPostTheirSequences) {
  struct Case {
    const char* button;
    int count;
    std::vector<int64_t> types;
    std::vector<int64_t> clickStates;
    int64_t buttonNumber;
  };
  const Case cases[] = {
      {"left", 1, {1, 2}, {1, 1}, 0},
      {"right", 2, {3, 4, 3, 4}, {1, 1, 2, 2}, 1},
      {"left", 3, {1, 2, 1, 2, 1, 2}, {1, 1, 2, 2, 3, 3}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " x" + std::to_string(c.count));
    InputHarness harness;
    Outcome outcome =
        harness.run(startClick, clickParams({{"button", c.button}, {"clickCount", c.count}}));
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ((*outcome.result)["sentClickCount"], c.count);
    std::vector<Json> clicks(outcome.posts.begin() + kSyntheticStatePosts, outcome.posts.end());
    EXPECT_EQ(typesOf(clicks), c.types);
    for (size_t i = 0; i < clicks.size(); ++i) {
      EXPECT_EQ(clicks[i]["fields"]["0"], static_cast<int64_t>(3 + i)) << "event number " << i;
      EXPECT_EQ(clicks[i]["fields"]["1"], c.clickStates[i]);
      EXPECT_EQ(clicks[i]["clickCount"], c.clickStates[i]);
      EXPECT_EQ(clicks[i]["fields"]["3"], c.buttonNumber);
    }
    double expected = 0.02 + 0.005 + 0.02 * c.count + 0.06 * (c.count - 1) + 0.12;
    EXPECT_NEAR(outcome.seconds, expected, 1e-6);
  }
}

// Every refusal before anything is scheduled, in the order the checks run:
// each case would also fail every later check.
TEST(ClickTest, RefusalsComeInCheckOrderAndPostNothing) {
  auto none = [](Json&) {};
  const Refusal cases[] = {
      {"pid missing first",
       {{"pid", nullptr}, {"button", nullptr}},
       none,
       "Missing macOS computer-use parameter: pid"},
      {"button before clickCount",
       {{"button", ""}, {"clickCount", nullptr}},
       none,
       "Missing macOS computer-use parameter: button"},
      {"middle button before the window lookup",
       {{"button", "middle"}, {"windowId", 999}},
       none,
       "Invalid macOS click request"},
      {"four clicks", {{"clickCount", 4}, {"windowId", 999}}, none, "Invalid macOS click request"},
      {"no clicks", {{"clickCount", 0}}, none, "Invalid macOS click request"},
      {"resized by 1.6",
       {{"pid", kNoAppPid}, {"windowId", kNoAppWindow}, {"width", 51.6}, {"height", 50}},
       none,
       "The observed macOS window resized. Call get_app_state again"},
      {"element gone",
       {{"element", {{"role", "AXButton"}, {"title", "Gone"}}}, {"x", 5000}},
       none,
       "The indexed accessibility element is no longer present. Call get_app_state again"},
      {"x on the right edge",
       {{"x", 800}},
       none,
       "The requested click point is outside the observed macOS window"},
      {"negative y",
       {{"y", -0.5}},
       none,
       "The requested click point is outside the observed macOS window"},
  };
  expectRefusals(startClick, clickParams, cases);
}

TEST(ClickTest, SizeExactlyWithinTheToleranceIsAccepted) {
  InputHarness harness;
  Outcome outcome = harness.run(startClick, clickParams({{"width", 801.5}, {"height", 598.5}}));
  EXPECT_FALSE(outcome.error) << *outcome.error;
}

// The window moves while the synthetic state is established: 1.5 points pass
// and the click point follows the new origin; 1.6 points stop the click.
TEST(ClickTest, WindowMovingBeforePostingIsToleratedUpTo1Point5) {
  struct Case {
    double dx;
    const char* error;
  };
  const Case cases[] = {
      {1.5, nullptr},
      {1.6,
       "The target macOS window moved or resized before input was sent. Call get_app_state again"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dx);
    Json scene = inputScene();
    scene["script"] = Json::array({afterTargetPosts(
        kSyntheticStatePosts,
        {{"move", {{"id", kTargetWindow}, {"x", kWindowX + c.dx}, {"y", kWindowY}}}})});
    InputHarness harness(scene);
    Outcome outcome = harness.run(startClick, clickParams());
    if (c.error) {
      EXPECT_EQ(outcome.error.value_or("(success)"), c.error);
      EXPECT_FALSE(outcome.synchronous);
      EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts);
      continue;
    }
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ(outcome.posts[4]["x"], 500 + c.dx);
    EXPECT_EQ(outcome.posts[4]["windowX"], 400);
    EXPECT_EQ((*outcome.result)["windowX"], kWindowX + c.dx);
    EXPECT_EQ((*outcome.result)["targetX"], 400);
  }
}

// The foreground changes at three moments: while the synthetic state is
// awaited (nothing is clicked), after the click (it may have happened), and
// never (the target drops its activation, so the state is never confirmed).
TEST(ClickTest, ForegroundChangesAndUnconfirmedStateEndTheRequest) {
  struct Case {
    const char* name;
    std::function<void(Json&)> scene;
    const char* message;
    size_t posts;
    double seconds;
  };
  const Case cases[] = {
      {"foreground changes while waiting",
       [](Json& s) {
         s["script"] = Json::array({afterTargetPosts(2, {{"frontmost", kThirdPid}})});
       },
       "Zuzozevu Viv stopped because the user changed the foreground window; no click was sent",
       kSyntheticStatePosts, 0.02},
      {"foreground changes during the settle",
       [](Json& s) {
         s["script"] = Json::array({afterTargetPosts(6, {{"frontmost", kThirdPid}})});
       },
       "The click may have completed after the user changed the foreground window and cannot be "
       "safely retried",
       kSyntheticStatePosts + 2, 0.165},
      {"no frontmost app during the settle",
       [](Json& s) {
         s["script"] = Json::array({afterTargetPosts(6, {{"frontmost", nullptr}})});
       },
       "The click may have completed after the user changed the foreground window and cannot be "
       "safely retried",
       kSyntheticStatePosts + 2, 0.165},
      {"target drops its activation",
       [](Json& s) { sceneApp(s, kTargetPid)["dropsActivation"] = true; },
       "The target macOS window did not enter synthetic active/key state; no click was sent",
       kSyntheticStatePosts, 0.02 + 30 * 0.005},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = inputScene();
    c.scene(scene);
    InputHarness harness(scene);
    Outcome outcome = harness.run(startClick, clickParams());
    EXPECT_FALSE(outcome.synchronous);
    EXPECT_EQ(outcome.error.value_or("(success)"), c.message);
    EXPECT_EQ(outcome.posts.size(), c.posts);
    EXPECT_NEAR(outcome.seconds, c.seconds, 1e-6);
  }
}

TEST(ClickTest, TargetInFrontIsClickedWithoutSyntheticState) {
  Json scene = inputScene();
  scene["frontmost"] = kTargetPid;
  InputHarness harness(scene);
  Outcome outcome = harness.run(startClick, clickParams());
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ(typesOf(outcome.posts), (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(outcome.posts[0]["fields"]["0"], 1);  // no focus click took numbers

  // Another window of the application in front is not its front window.
  Outcome other = harness.run(
      startClick,
      clickParams(
          {{"windowId", kSecondWindow}, {"width", 300}, {"height", 200}, {"x", 10}, {"y", 10}}));
  EXPECT_FALSE(other.synchronous);
  EXPECT_EQ(other.error.value_or("(success)"),
            "The target macOS window did not enter synthetic active/key state; no click was sent");
  EXPECT_TRUE(other.posts.empty());
}

// The element is found again when the click is posted: the button moved by
// 30 points meanwhile, within the 80-point tolerance, and is clicked where
// it is now.
TEST(ClickTest, ElementIsResolvedAgainWhenPosting) {
  Json scene = inputScene();
  scene["script"] = Json::array({afterTargetPosts(
      kSyntheticStatePosts, {{"set",
                              {{"ref", "ok"},
                               {"attribute", "AXPosition"},
                               {"value", {{"x", kWindowX + 40}, {"y", kWindowY + 50}}}}}})});
  InputHarness harness(scene);
  Outcome outcome = harness.run(startClick, clickParams({{"element", okButton()}}));
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ((*outcome.result)["targetX"], 80);  // 40 + 80 / 2
  EXPECT_EQ((*outcome.result)["targetY"], 62);
  EXPECT_EQ(outcome.posts[4]["x"], kWindowX + 80);
  EXPECT_EQ(outcome.posts[4]["y"], kWindowY + 62);

  // An element that is not an object is ignored: (x, y) is clicked.
  InputHarness plain;
  Outcome ignored = plain.run(startClick, clickParams({{"element", "OK"}}));
  ASSERT_FALSE(ignored.error) << *ignored.error;
  EXPECT_EQ((*ignored.result)["targetX"], 400);
}

TEST(ClickTest, ElementRemovedBeforePostingStopsTheClick) {
  Json scene = inputScene();
  scene["script"] = Json::array({afterTargetPosts(kSyntheticStatePosts, {{"remove", "ok"}})});
  InputHarness harness(scene);
  Outcome outcome = harness.run(startClick, clickParams({{"element", okButton()}}));
  EXPECT_FALSE(outcome.synchronous);
  EXPECT_EQ(outcome.error.value_or("(success)"),
            "The indexed accessibility element is no longer present. Call get_app_state again");
  EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts);
}

// A click into the text field leaves it focused in the target, and the
// result says where; a click on the button reports no focused field.
TEST(ClickTest, ClickedFieldHoldsFocusAndIsReported) {
  InputHarness harness;
  Outcome outcome = harness.run(startClick, clickParams({{"x", 50}, {"y", 20}}));
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ((*outcome.result)["focusedX"], kWindowX + 110);
  EXPECT_EQ((*outcome.result)["focusedY"], kWindowY + 22);
  EXPECT_EQ(harness.desktop().attribute("field", "AXFocused"), Json(true));

  InputHarness fresh;
  Outcome onButton = fresh.run(startClick, clickParams({{"x", 20}, {"y", 60}}));
  ASSERT_FALSE(onButton.error) << *onButton.error;
  EXPECT_FALSE(onButton.result->contains("focusedX"));
  EXPECT_FALSE(onButton.result->contains("focusedY"));
}

TEST(ClickTest, EventNumbersKeepGrowingAcrossRequests) {
  InputHarness harness;
  harness.run(startClick, clickParams());
  Outcome second = harness.run(startClick, clickParams());
  ASSERT_FALSE(second.error) << *second.error;
  // First request: focus click 1, 2 and click 3, 4; second: 5, 6 and 7, 8.
  EXPECT_EQ(second.posts[2]["fields"]["0"], 5);
  EXPECT_EQ(second.posts[4]["fields"]["0"], 7);
  EXPECT_EQ(second.posts[5]["fields"]["0"], 8);
}

// The posting step does nothing once the request's owner is gone.
TEST(ClickTest, NothingIsPostedAfterTheCompletionIsGone) {
  InputHarness harness;
  auto completion = std::make_shared<RecordingCompletion>();
  startClick(harness.desktop(), harness.guard(), clickParams(), Reply(completion, 1));
  completion.reset();
  EXPECT_TRUE(harness.desktop().loop().runUntilIdle(60));
  EXPECT_EQ(harness.desktop().traceLines("post").size(), kSyntheticStatePosts);
}

}  // namespace
}  // namespace cuh::testing
