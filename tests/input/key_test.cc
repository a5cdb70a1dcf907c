#include "input/key.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_harness.h"

namespace cuh::testing {
namespace {

constexpr uint64_t kCommand = platform::kKeyFlagCommand;
constexpr uint64_t kControl = platform::kKeyFlagControl;
constexpr uint64_t kShift = platform::kKeyFlagShift;
constexpr uint64_t kOption = platform::kKeyFlagOption;
constexpr uint64_t kFn = platform::kKeyFlagFunction;

// (50, 20) lies on the text field.
Json keyParams(Json changes = Json::object()) {
  return withChanges(Json{{"pid", kTargetPid},
                          {"windowId", kTargetWindow},
                          {"x", 50},
                          {"y", 20},
                          {"width", 800},
                          {"height", 600},
                          {"keyName", "x"},
                          {"keyCode", 7},
                          {"flags", 0}},
                     changes);
}

// The key reaches the focused field of the background window: Shift-X types
// a capital at the caret.
TEST(KeyTest, KeystrokeTypesIntoTheFieldAtThePoint) {
  InputHarness harness;
  Outcome outcome = harness.run(startKey, keyParams({{"flags", kShift}}));
  ASSERT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ(*outcome.result, (Json{{"delivery", "deliveredUnverified"}}));
  std::vector<Json> keys(outcome.posts.begin() + kSyntheticStatePosts, outcome.posts.end());
  ASSERT_EQ(keys.size(), 4u);
  const int64_t codes[] = {56, 7, 7, 56};
  const bool downs[] = {true, true, false, false};
  const uint64_t flags[] = {kShift, kShift, kShift, 0};
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i]["type"], downs[i] ? 10 : 11);
    EXPECT_EQ(keys[i]["keyCode"], codes[i]);
    EXPECT_EQ(keys[i]["keyDown"], downs[i]);
    EXPECT_EQ(keys[i]["flags"], flags[i]);
    EXPECT_EQ(keys[i]["fields"], Json::object());
  }
  EXPECT_EQ(harness.desktop().attribute("field", "AXValue"), Json("helloX"));
  EXPECT_NEAR(outcome.seconds, 0.02 + 0.005 + 0.12, 1e-6);
}

TEST(KeyTest, SelectAllGoesThroughAccessibility) {
  struct Case {
    const char* name;
    Json value;
    Json range;
  };
  const Case cases[] = {
      {"accents and an emoji count in UTF-16 units", "h\u00e9llo\U0001F600", {0, 7}},
      {"empty field", "", {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = inputScene();
    scene["windows"][1]["ax"]["children"][0]["value"] = c.value;
    InputHarness harness(scene);
    Outcome outcome = harness.run(startKey, keyParams({{"keyName", "a"}, {"flags", kCommand}}));
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ(*outcome.result, (Json{{"delivery", "verified"}, {"selectedAll", true}}));
    EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts);  // no keyboard event
    EXPECT_EQ(harness.desktop().attribute("field", "AXSelectedTextRange"), c.range);
    EXPECT_EQ(harness.desktop().attribute("field", "AXValue"), c.value);
  }
}

TEST(KeyTest, OnlyTheExactCommandAIsASelectAll) {
  struct Case {
    const char* keyName;
    uint64_t flags;
  };
  const Case cases[] = {{"a", kCommand | kShift}, {"A", kCommand}, {"a", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keyName) + " " + std::to_string(c.flags));
    InputHarness harness;
    Outcome outcome = harness.run(
        startKey, keyParams({{"keyName", c.keyName}, {"flags", c.flags}, {"keyCode", 0}}));
    ASSERT_FALSE(outcome.error) << *outcome.error;
    EXPECT_EQ((*outcome.result)["delivery"], "deliveredUnverified");
    EXPECT_GT(outcome.posts.size(), kSyntheticStatePosts);
  }
}

// Window 12 is not the application's focused window: a select-all there is
// not refused for it, a keystroke is.
TEST(KeyTest, SelectAllSkipsTheFocusedWindowCondition) {
  Json other{{"pid", kTargetPid}, {"windowId", kSecondWindow},
             {"x", 20},           {"y", 20},
             {"width", 300},      {"height", 200},
             {"keyName", "a"},    {"keyCode", 0},
             {"flags", kCommand}};
  InputHarness harness;
  Outcome selectAll = harness.run(startKey, other);
  ASSERT_FALSE(selectAll.error) << *selectAll.error;
  EXPECT_EQ(harness.desktop().attribute("otherField", "AXSelectedTextRange"), Json({0, 5}));

  InputHarness second;
  other["flags"] = 0;
  Outcome keystroke = second.run(startKey, other);
  EXPECT_TRUE(keystroke.synchronous);
  EXPECT_EQ(keystroke.error.value_or("(success)"),
            "The exact target is not the app's internally active window, so macOS cannot safely "
            "route background pointer or key input to it. Use an accessibility element action or "
            "target the app's active window");
}

TEST(KeyTest, RefusalsComeInCheckOrder) {
  struct Case {
    const char* name;
    Json changes;
    std::function<void(Json&)> scene;
    std::string message;
    bool synchronous;
  };
  auto none = [](Json&) {};
  const Case cases[] = {
      {"keyName empty",
       {{"keyName", ""}, {"keyCode", nullptr}},
       none,
       "Missing macOS computer-use parameter: keyName",
       true},
      {"keyCode beyond 16 bits",
       {{"keyCode", 65536}, {"flags", nullptr}},
       none,
       "The macOS computer-use parameter keyCode is out of range",
       true},
      {"negative keyCode",
       {{"keyCode", -1}},
       none,
       "The macOS computer-use parameter keyCode is out of range",
       true},
      {"negative flags",
       {{"flags", -1}, {"windowId", 999}},
       none,
       "The macOS computer-use parameter flags is out of range",
       true},
      {"resized",
       {{"height", 601.6}},
       none,
       "The observed macOS key target changed. Call get_app_state again",
       true},
      {"x on the right edge",
       {{"x", 800}},
       none,
       "The observed macOS key target changed. Call get_app_state again",
       true},
      {"negative y",
       {{"y", -1}},
       none,
       "The observed macOS key target changed. Call get_app_state again",
       true},
      {"select-all on a button",
       {{"keyName", "a"}, {"flags", kCommand}, {"x", 20}, {"y", 60}},
       none,
       "No editable macOS element is selected for background select-all",
       false},
      {"select-all rejected",
       {{"keyName", "a"}, {"flags", kCommand}},
       [](Json& s) {
         s["windows"][1]["ax"]["children"][0]["rejects"] = Json::array({"AXSelectedTextRange"});
       },
       "The target macOS field rejected background select-all",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = inputScene();
    c.scene(scene);
    InputHarness harness(scene);
    Outcome outcome = harness.run(startKey, keyParams(c.changes));
    EXPECT_EQ(outcome.synchronous, c.synchronous);
    EXPECT_EQ(outcome.error.value_or("(success)"), c.message);
    EXPECT_EQ(outcome.posts.size(), c.synchronous ? 0 : kSyntheticStatePosts);
  }
}

TEST(KeyTest, ForegroundChangeAfterTheKeystrokeMakesItUnsafeToRetry) {
  Json scene = inputScene();
  scene["script"] =
      Json::array({afterTargetPosts(kSyntheticStatePosts + 2, {{"frontmost", kThirdPid}})});
  InputHarness harness(scene);
  Outcome outcome = harness.run(startKey, keyParams());
  EXPECT_EQ(outcome.error.value_or("(success)"),
            "The key may have completed after the user changed the foreground window and cannot "
            "be safely retried");
  EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts + 2);
  // The key still reached the field.
  EXPECT_EQ(harness.desktop().attribute("field", "AXValue"), Json("hellox"));
}

}  // namespace
}  // namespace cuh::testing
