#include "input/drag.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_harness.h"

namespace cuh::testing {
namespace {

Json dragParams(Json changes = Json::object()) {
  return withChanges(Json{{"pid", kTargetPid},
                          {"windowId", kTargetWindow},
                          {"fromX", 400},
                          {"fromY", 300},
                          {"toX", 560},
                          {"toY", 140},
                          {"width", 800},
                          {"height", 600}},
                     changes);
}

// A floating panel of the target.
constexpr uint32_t kPanelWindow = 23;

// A floating panel of the target over the top-left corner of its window:
// in front of it, or (with `behind`) just behind it.
void addPanel(Json& scene, bool behind) {
  Json panel{{"id", kPanelWindow},
             {"pid", kTargetPid},
             {"title", "Panel"},
             {"bounds", sceneFrame(kWindowX, kWindowY, 60, 60)},
             {"ax", Json::object()}};
  auto& windows = scene["windows"];
  windows.insert(windows.begin() + (behind ? 2 : 1), panel);
}

TEST(DragTest, PathHas17PointsEndingExactlyOnTheEnd) {
  platform::Point start{0.1, 0.7};
  platform::Point end{0.3, 100.9};
  std::vector<platform::Point> path = dragPath(start, end);
  ASSERT_EQ(path.size(), 17u);
  EXPECT_EQ(path[0], start);
  for (int k = 1; k <= 16; ++k) {
    EXPECT_DOUBLE_EQ(path[k].x, start.x + (end.x - start.x) * k / 16);
    EXPECT_DOUBLE_EQ(path[k].y, start.y + (end.y - start.y) * k / 16);
  }
  EXPECT_EQ(path[16], end);

  for (const platform::Point& point : dragPath(start, start))
    EXPECT_EQ(point, start);
}

TEST(DragTest, PostsTheWholeGestureAtOnceAfterTheSyntheticState) {
  InputHarness harness;
  Outcome outcome = harness.run(startDrag, dragParams());
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ(*outcome.result, (Json{{"delivery", "deliveredUnverified"}}));
  ASSERT_EQ(outcome.posts.size(), kSyntheticStatePosts + 18);
  std::vector<Json> drag(outcome.posts.begin() + kSyntheticStatePosts, outcome.posts.end());
  std::vector<int64_t> types(18, 6);
  types.front() = 1;
  types.back() = 2;
  EXPECT_EQ(typesOf(drag), types);
  // Start (500, 350), end (660, 190) on screen: 10 and −10 points per step.
  for (size_t i = 0; i < drag.size(); ++i) {
    size_t k = i == 17 ? 16 : i;
    EXPECT_EQ(drag[i]["x"], 500 + 10.0 * k);
    EXPECT_EQ(drag[i]["y"], 350 - 10.0 * k);
    EXPECT_EQ(drag[i]["windowX"], 400 + 10.0 * k);
    EXPECT_EQ(drag[i]["windowY"], 300 - 10.0 * k);
    // Only these fields: no event number, click state or button field.
    EXPECT_EQ(drag[i]["fields"], (Json{{"7", 0}, {"91", 21}, {"92", 21}}));
    EXPECT_FALSE(drag[i].contains("clickCount"));
  }
  // No pause inside the gesture: focus click, one poll, the settle.
  EXPECT_NEAR(outcome.seconds, 0.02 + 0.005 + 0.12, 1e-6);
}

TEST(DragTest, RefusalsComeInCheckOrder) {
  auto none = [](Json&) {};
  const Refusal cases[] = {
      {"toY missing before width",
       {{"toY", nullptr}, {"width", nullptr}},
       none,
       "Missing macOS computer-use parameter: toY"},
      {"height off by 1.6",
       {{"height", 598.4}, {"toX", 5000}},
       none,
       "The observed macOS window resized. Call get_app_state again"},
      {"end on the right edge",
       {{"toX", 800}},
       none,
       "The requested drag no longer fits inside the observed macOS window"},
      {"start on the bottom edge",
       {{"fromY", 600}},
       none,
       "The requested drag no longer fits inside the observed macOS window"},
      {"start under a floating panel",
       {{"fromX", 10}, {"fromY", 10}},
       [](Json& s) { addPanel(s, /*behind=*/false); },
       "The drag start no longer belongs to the observed macOS window"},
  };
  expectRefusals(startDrag, dragParams, cases);
  // Both edges at 0 are inside.
  InputHarness harness;
  EXPECT_FALSE(harness.run(startDrag, dragParams({{"fromX", 0}, {"fromY", 0}})).error);
}

// Between validation and posting: a panel comes over the start, the
// window moves by 1.6 points, or the user switches windows after the
// gesture.
TEST(DragTest, ChangesAfterValidationEndTheRequest) {
  struct Case {
    const char* name;
    Json changes;
    std::function<void(Json&)> scene;
    const char* message;
    size_t posts;
  };
  const Case cases[] = {
      {"panel raised over the start",
       {{"fromX", 10}, {"fromY", 10}},
       [](Json& s) {
         addPanel(s, /*behind=*/true);
         s["script"] =
             Json::array({afterTargetPosts(kSyntheticStatePosts, {{"raise", kPanelWindow}})});
       },
       "The drag start changed before input was sent. Call get_app_state again",
       kSyntheticStatePosts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = inputScene();
    c.scene(scene);
    InputHarness harness(scene);
    Outcome outcome = harness.run(startDrag, dragParams(c.changes));
    EXPECT_FALSE(outcome.synchronous);
    EXPECT_EQ(outcome.error.value_or("(success)"), c.message);
    EXPECT_EQ(outcome.posts.size(), c.posts);
  }
}

}  // namespace
}  // namespace cuh::testing
