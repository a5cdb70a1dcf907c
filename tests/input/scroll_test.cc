#include "input/scroll.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_harness.h"

namespace cuh::testing {
namespace {

// (400, 300) lies on the scroll area's cell-free part; (20, 60) on the
// button, which has no page-scroll action anywhere up to the window.
Json scrollParams(Json changes = Json::object()) {
  return withChanges(Json{{"pid", kTargetPid},
                          {"windowId", kTargetWindow},
                          {"x", 400},
                          {"y", 300},
                          {"dx", 0},
                          {"dy", 120},
                          {"width", 800},
                          {"height", 600}},
                     changes);
}

std::vector<std::string> actionsPerformed(sim::SimDesktop& desktop) {
  std::vector<std::string> names;
  for (const Json& line : desktop.traceLines("action")) {
    EXPECT_EQ(line["target"], "scroller");
    EXPECT_EQ(line["ok"], true);
    names.push_back(line["action"].get<std::string>());
  }
  return names;
}

TEST(ScrollTest, WheelPathPostsOnePixelEventWithNegatedAmounts) {
  struct Case {
    int dx;
    int dy;
    Json wheel;
  };
  const Case cases[] = {
      {0, 120, {-120, 0, 0}},
      {-35, 0, {0, 35, 0}},
      {0, 0, {0, 0, 0}},
      {2147483647, -2147483647, {2147483647, -2147483647, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wheel.dump());
    InputHarness harness;
    Outcome outcome = harness.run(startScroll, scrollParams({{"dx", c.dx}, {"dy", c.dy}}));
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ(*outcome.result, (Json{{"delivery", "deliveredUnverified"}}));
    ASSERT_EQ(outcome.posts.size(), kSyntheticStatePosts + 1);
    const Json& wheel = outcome.posts.back();
    EXPECT_EQ(wheel["type"], 22);
    EXPECT_EQ(wheel["wheel"], c.wheel);
    EXPECT_EQ(wheel["units"], "pixel");
    EXPECT_EQ(wheel["x"], 500);
    EXPECT_EQ(wheel["y"], 350);
    EXPECT_EQ(wheel["windowX"], 400);
    EXPECT_EQ(wheel["windowY"], 300);
    EXPECT_EQ(wheel["fields"], (Json{{"91", 21}, {"92", 21}}));
    EXPECT_NEAR(outcome.seconds, 0.02 + 0.005 + 0.12, 1e-6);
  }
}

// The accessibility page scroll: performed on the scroll area (the hit
// cell's ancestor), under the semantic guard, with no event posted, and
// finished inside the call.
TEST(ScrollTest, SemanticFirstPerformsPageActions) {
  struct Case {
    const char* name;
    Json changes;
    std::vector<std::string> actions;
  };
  const std::string down = "AXScrollDownByPage";
  const Case cases[] = {
      {"dy positive", {}, {down}},
      {"from the cell", {{"x", 320}, {"y", 115}}, {down}},
      {"amounts zero", {{"dy", 0}}, {"AXScrollLeftByPage"}},
      {"dx positive", {{"dy", 0}, {"dx", 5}}, {"AXScrollRightByPage"}},
      {"dy negative", {{"dy", -1}, {"dx", 5}}, {"AXScrollUpByPage"}},
      {"capitalised direction is no direction", {{"direction", "Up"}}, {down}},
      {"direction wins", {{"direction", "left"}}, {"AXScrollLeftByPage"}},
      {"semanticFirst as a number", {{"semanticFirst", 1}}, {down}},
      {"pages 2.1", {{"pages", 2.1}}, {down, down, down}},
      {"pages 0", {{"pages", 0}}, {down}},
      {"pages -3", {{"pages", -3}}, {down}},
      {"pages as a string", {{"pages", "two"}}, {down}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputHarness harness;
    Json params = scrollParams({{"semanticFirst", true}});
    for (auto& [key, value] : c.changes.items())
      params[key] = value;
    Outcome outcome = harness.run(startScroll, params);
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ(*outcome.result, (Json{{"delivery", "verified"}, {"semantic", true}}));
    EXPECT_EQ(outcome.seconds, 0);
    EXPECT_TRUE(outcome.posts.empty());
    EXPECT_EQ(actionsPerformed(harness.desktop()), c.actions);
  }
}

TEST(ScrollTest, SemanticFirstFallsBackToTheWheelWithoutAPageAction) {
  InputHarness harness;
  Outcome outcome =
      harness.run(startScroll, scrollParams({{"semanticFirst", true}, {"x", 20}, {"y", 60}}));
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ(*outcome.result, (Json{{"delivery", "deliveredUnverified"}}));
  EXPECT_EQ(typesOf(outcome.posts), (std::vector<int64_t>{21, 13, 1, 2, 22}));
  EXPECT_TRUE(harness.desktop().traceLines("action").empty());
}

// Window 12 is not the application's focused window: the page scroll does
// not need it to be, the wheel does.
TEST(ScrollTest, PageScrollSkipsTheFocusedWindowCondition) {
  Json other{{"pid", kTargetPid}, {"windowId", kSecondWindow},
             {"x", 50},           {"y", 80},
             {"dx", 0},           {"dy", 1},
             {"width", 300},      {"height", 200}};
  InputHarness harness;
  Json semantic = other;
  semantic["semanticFirst"] = true;
  Outcome page = harness.run(startScroll, semantic);
  ASSERT_FALSE(page.error) << *page.error;
  EXPECT_EQ((*page.result)["semantic"], true);

  Outcome wheel = harness.run(startScroll, other);
  EXPECT_TRUE(wheel.synchronous);
  EXPECT_EQ(wheel.error.value_or("(success)"),
            "The exact target is not the app's internally active window, so macOS cannot safely "
            "route background pointer or key input to it. Use an accessibility element action or "
            "target the app's active window");
}

TEST(ScrollTest, RefusalsComeInCheckOrder) {
  auto none = [](Json&) {};
  auto semanticFirst = [](Json changes) {
    changes["semanticFirst"] = true;
    return changes;
  };
  const Refusal cases[] = {
      {"dx whose negation does not fit",
       {{"dx", -2147483648LL}, {"width", nullptr}},
       none,
       "The macOS computer-use parameter dx is out of range"},
      {"dy beyond 32 bits",
       {{"dy", 2147483648LL}},
       none,
       "The macOS computer-use parameter dy is out of range"},
      {"dy before width",
       {{"dy", "down"}, {"width", nullptr}},
       none,
       "Missing macOS computer-use parameter: dy"},
      {"resized",
       {{"width", 798.4}, {"x", 5000}},
       none,
       "The observed macOS window resized. Call get_app_state again"},
      {"point on the bottom edge",
       {{"y", 600}},
       none,
       "The requested scroll point is outside the observed macOS window"},
      {"pages without bound", semanticFirst({{"pages", 1e300}}), none,
       "The macOS computer-use parameter pages is out of range; use a finite number of at most "
       "1000 pages"},
      {"page action fails", semanticFirst({}),
       [](Json& s) {
         s["windows"][1]["ax"]["children"][2]["rejects"] = Json::array({"AXScrollDownByPage"});
       },
       "The accessible scroll action may have completed and cannot be safely retried"},
      {"app relaunched by the action", semanticFirst({}),
       [](Json& s) {
         s["script"] = Json::array({Json{
             {"when", {{"afterAction", {{"ref", "scroller"}, {"action", "AXScrollDownByPage"}}}}},
             {"do", Json::array({Json{{"relaunch", kTargetPid}}})}}});
       },
       "The target macOS app changed during scrolling; the outcome is ambiguous and cannot be "
       "safely retried"},
      {"foreground changes during the action", semanticFirst({}),
       [](Json& s) {
         s["script"] = Json::array({Json{
             {"when", {{"afterAction", {{"ref", "scroller"}, {"action", "AXScrollDownByPage"}}}}},
             {"do", Json::array({Json{{"frontmost", kThirdPid}}})}}});
       },
       "The macOS accessibility action may have completed after foreground protection changed "
       "and cannot be safely retried"},
  };
  expectRefusals(startScroll, scrollParams, cases);
}

TEST(ScrollTest, WheelPathStopsWhenThePointChangesOrTheForegroundDoes) {
  struct Case {
    const char* name;
    Json rule;
    const char* message;
    size_t posts;
  };
  const Case cases[] = {
      // Closing the window moves the application's focus to its next
      // window, so the state is no longer ready (order 2 comes first).
      {"window closed before posting",
       afterTargetPosts(kSyntheticStatePosts, {{"closeWindow", kTargetWindow}}),
       "The target macOS window did not enter synthetic active/key state; no scroll was sent",
       kSyntheticStatePosts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = inputScene();
    scene["script"] = Json::array({c.rule});
    InputHarness harness(scene);
    Outcome outcome = harness.run(startScroll, scrollParams());
    EXPECT_FALSE(outcome.synchronous);
    EXPECT_EQ(outcome.error.value_or("(success)"), c.message);
    EXPECT_EQ(outcome.posts.size(), c.posts);
  }
}

}  // namespace
}  // namespace cuh::testing
