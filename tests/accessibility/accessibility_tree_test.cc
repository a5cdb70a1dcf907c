#include "accessibility/accessibility_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accessibility/ax_scene.h"
#include "accessibility/resolve_element_request.h"
#include "protocol/helper_failure.h"
#include "support/counting_accessibility.h"
#include "support/failure_message.h"

namespace cuh {
namespace {

using testing::desktopWith;
using testing::relativeFrame;
using testing::sceneFrame;
using testing::sceneWith;
using testing::windowParams;

// The window check and the parameter order are shared by "accessibility_tree"
// and "resolve_element"; each case runs against both.
struct WindowCheckCase {
  const char* name;
  Json sceneEdit;  // merged into the scene's window entry ({} is null: none)
  Json params;     // merged over the window parameters (a null entry deletes)
  std::string expected;
};

TEST(ObservedWindowTest, ParametersAndWindowChecksFailWithTheirMessages) {
  const std::string missing = "Missing macOS computer-use parameter: ";
  const std::vector<WindowCheckCase> cases = {
      {"no pid", {}, {{"pid", nullptr}, {"windowId", nullptr}}, missing + "pid"},
      {"pid as string", {}, {{"pid", "200"}}, missing + "pid"},
      {"no windowId", {}, {{"windowId", nullptr}, {"width", nullptr}}, missing + "windowId"},
      {"no width", {}, {{"width", nullptr}, {"height", nullptr}}, missing + "width"},
      {"height as string", {}, {{"height", "600"}}, missing + "height"},
      {"pid beyond 32 bits",
       {},
       {{"pid", 4294967396LL}},
       "The macOS computer-use parameter pid is out of range"},
      {"negative windowId",
       {},
       {{"windowId", -11}},
       "The macOS computer-use parameter windowId is out of range"},
      {"unknown window",
       {},
       {{"windowId", 12}},
       "The observed macOS window disappeared. Call get_app_state again"},
      {"window of another pid",
       {},
       {{"pid", 101}},
       "The observed macOS window disappeared. Call get_app_state again"},
      {"window on another layer",
       {{"layer", 3}},
       {},
       "The observed macOS window disappeared. Call get_app_state again"},
      {"row without a usable frame",
       {{"row", {{"kCGWindowBounds", {{"X", 100}, {"Y", 50}, {"Width", 800}, {"Height", "600"}}}}}},
       {},
       "The observed macOS window disappeared. Call get_app_state again"},
      {"width off by 1.6",
       {},
       {{"width", 801.6}},
       "The observed macOS window resized. Call get_app_state again"},
      {"height off by 1.6",
       {},
       {{"height", 598.4}},
       "The observed macOS window resized. Call get_app_state again"},
      {"no accessibility window matches",
       {{"ax", {{"title", "Other"}}}},
       {},
       "The observed macOS window could not be uniquely matched. Call get_app_state again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = sceneWith(Json::array());
    if (c.sceneEdit.is_object())
      scene["windows"][0].merge_patch(c.sceneEdit);
    Json params = windowParams();
    if (c.params.is_object())
      params.merge_patch(c.params);
    // "element" comes last in the order: present, so that only the window
    // part can fail.
    Json resolveParams = params;
    resolveParams["element"] = Json{{"role", "AXWindow"}};
    auto desktop = sim::SimDesktop::create(scene);
    EXPECT_EQ(testing::failureOf([&] { accessibilityTree(*desktop, params); }), c.expected);
    EXPECT_EQ(testing::failureOf([&] { resolveElementRequest(*desktop, resolveParams); }),
              c.expected);
  }
}

TEST(ObservedWindowTest, SizeWithinOneAndAHalfPointsAndAnyPositionAreAccepted) {
  auto desktop = desktopWith(Json::array());
  desktop->apply({{"move", {{"id", testing::kTargetWindow}, {"x", 400}, {"y", 300}}}});
  for (auto [width, height] : {std::pair{801.5, 598.5}, std::pair{798.5, 601.5}}) {
    Json params = windowParams();
    params["width"] = width;
    params["height"] = height;
    Json rows = accessibilityTree(*desktop, params);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["x"], 0.0);  // relative to the moved window
  }
}

TEST(AccessibilityTreeTest, WindowWithoutChildrenIsOneRow) {
  auto desktop = desktopWith(Json::array());
  Json rows = accessibilityTree(*desktop, windowParams());
  ASSERT_EQ(rows.size(), 1u);
  const Json& window = rows[0];
  EXPECT_EQ(window["index"], 0);
  EXPECT_EQ(window["depth"], 0);
  EXPECT_EQ(window["path"], Json::array());
  EXPECT_EQ(window["role"], "AXWindow");
  EXPECT_EQ(window["title"], "Doc");
  EXPECT_EQ(window["x"], 0.0);
  EXPECT_EQ(window["y"], 0.0);
  EXPECT_EQ(window["width"], 800.0);
  EXPECT_EQ(window["height"], 600.0);
}

TEST(AccessibilityTreeTest, RowsArePreOrderWithPathsAndDepths) {
  Json tree = Json::array({
      {{"title", "A"},
       {"children",
        Json::array({{{"title", "A0"}},
                     {{"title", "A1"}, {"children", Json::array({{{"title", "A10"}}})}}})}},
      {{"title", "B"}},
  });
  auto desktop = desktopWith(tree);
  Json rows = accessibilityTree(*desktop, windowParams());
  struct Expected {
    const char* title;
    Json path;
  };
  const std::vector<Expected> expected = {{"Doc", Json::array()}, {"A", {0}},
                                          {"A0", {0, 0}},         {"A1", {0, 1}},
                                          {"A10", {0, 1, 0}},     {"B", {1}}};
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i]["index"], i);
    EXPECT_EQ(rows[i]["title"], expected[i].title);
    EXPECT_EQ(rows[i]["path"], expected[i].path);
    EXPECT_EQ(rows[i]["depth"], expected[i].path.size());
  }
}

// One element per case, as the window's only child; `expected` lists the keys
// whose value the case is about, `absent` the keys that must be missing.
struct RowCase {
  const char* name;
  Json element;
  Json expected;
  std::vector<std::string> absent;
};

TEST(AccessibilityTreeTest, RowKeysFollowTheirRules) {
  const std::vector<std::string> geometry = {"x", "y", "width", "height"};
  const std::vector<RowCase> cases = {
      {"nothing readable",
       Json::object(),
       {{"role", ""},
        {"subrole", ""},
        {"title", ""},
        {"description", ""},
        {"help", ""},
        {"placeholder", ""},
        {"value", ""},
        {"identifier", ""},
        {"actions", Json::array()},
        {"busy", false},
        {"focused", false},
        {"enabled", true},
        {"selectable", false},
        {"valueSettable", false}},
       {"selected", "x", "y", "width", "height"}},
      {"every text attribute",
       {{"role", "AXButton"},
        {"subrole", "AXCloseButton"},
        {"title", "Close"},
        {"description", "close button"},
        {"help", "Closes the window"},
        {"placeholder", "Name"},
        {"value", "v"},
        {"identifier", "close"}},
       {{"role", "AXButton"},
        {"subrole", "AXCloseButton"},
        {"title", "Close"},
        {"description", "close button"},
        {"help", "Closes the window"},
        {"placeholder", "Name"},
        {"value", "v"},
        {"identifier", "close"}},
       {}},
      {"long text is never shortened",
       {{"value", std::string(5000, 'x')}},
       {{"value", std::string(5000, 'x')}},
       {}},
      {"numeric value", {{"value", 0.5}}, {{"value", "0.5"}}, {}},
      {"integer value", {{"value", 42}}, {{"value", "42"}}, {}},
      {"attributed value", {{"value", {{"attributed", "Hello"}}}}, {{"value", "Hello"}}, {}},
      {"text attribute of another kind",
       {{"attributes", {{"AXHelp", {1, 2}}}}},
       {{"help", ""}},
       {}},
      {"actions in order",
       {{"actions", {"AXPress", "AXShowMenu"}}},
       {{"actions", {"AXPress", "AXShowMenu"}}},
       {}},
      {"flags set",
       {{"busy", true}, {"focused", true}, {"enabled", false}},
       {{"busy", true}, {"focused", true}, {"enabled", false}},
       {}},
      {"enabled unreadable as boolean",
       {{"attributes", {{"AXEnabled", "no"}}}},
       {{"enabled", true}},
       {}},
      {"numeric booleans",
       {{"attributes", {{"AXBusy", 1}, {"AXEnabled", 0}}}},
       {{"busy", true}, {"enabled", false}},
       {}},
      // The documented busy attribute counts as much as the undocumented one.
      {"busy by the documented name",
       {{"busy", false}, {"attributes", {{"AXElementBusy", true}}}},
       {{"busy", true}},
       {}},
      {"busy by neither name",
       {{"busy", false}, {"attributes", {{"AXElementBusy", 0}}}},
       {{"busy", false}},
       {}},
      {"settable selection and value",
       {{"settable", {"AXSelected", "AXValue"}}},
       {{"selectable", true}, {"valueSettable", true}},
       {"selected"}},
      {"selected false is present", {{"selected", false}}, {{"selected", false}}, {}},
      {"selected as a number", {{"attributes", {{"AXSelected", 1}}}}, {{"selected", true}}, {}},
      {"selected of another kind",
       {{"attributes", {{"AXSelected", "yes"}}}},
       Json::object(),
       {"selected"}},
      {"frame inside the window",
       {{"frame", relativeFrame(20, 30, 80, 24)}},
       {{"x", 20.0}, {"y", 30.0}, {"width", 80.0}, {"height", 24.0}},
       {}},
      {"frame outside the window",
       {{"frame", sceneFrame(-300, 2000, 50, 10)}},
       {{"x", -400.0}, {"y", 1950.0}, {"width", 50.0}, {"height", 10.0}},
       {}},
      {"zero width", {{"frame", relativeFrame(20, 30, 0, 24)}}, Json::object(), geometry},
      {"zero height", {{"frame", relativeFrame(20, 30, 10, 0)}}, Json::object(), geometry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto desktop = desktopWith(Json::array({c.element}));
    Json rows = accessibilityTree(*desktop, windowParams());
    ASSERT_EQ(rows.size(), 2u);
    const Json& row = rows[1];
    EXPECT_EQ(row["index"], 1);
    EXPECT_EQ(row["depth"], 1);
    EXPECT_EQ(row["path"], Json::array({0}));
    for (const auto& [key, value] : c.expected.items()) {
      EXPECT_EQ(row.value(key, Json()), value) << key;
    }
    for (const auto& key : c.absent)
      EXPECT_FALSE(row.contains(key)) << key;
  }
}

Json blanks(int count) {
  Json list = Json::array();
  for (int i = 0; i < count; ++i)
    list.push_back({{"role", "AXStaticText"}, {"title", std::to_string(i)}});
  return list;
}

TEST(AccessibilityTreeTest, OnlyTheFirstHundredChildrenAreRead) {
  auto desktop = desktopWith(Json::array({{{"role", "AXList"}, {"children", blanks(150)}}}));
  Json rows = accessibilityTree(*desktop, windowParams());
  ASSERT_EQ(rows.size(), 102u);  // window, list, 100 items
  EXPECT_EQ(rows[2]["path"], Json::array({0, 0}));
  EXPECT_EQ(rows[101]["path"], Json::array({0, 99}));
  EXPECT_EQ(rows[101]["title"], "99");
}

TEST(AccessibilityTreeTest, ElementsAtDepthFourteenAreListedButNotExpanded) {
  // Window (depth 0), 13 groups (depths 1-13), then the leaf at depth 14 with
  // one child that is never read.
  Json leaf = {{"role", "AXButton"},
               {"title", "deep"},
               {"children", Json::array({{{"title", "too deep"}}})}};
  auto desktop = desktopWith(Json::array({testing::nested(13, leaf)}));
  Json rows = accessibilityTree(*desktop, windowParams());
  ASSERT_EQ(rows.size(), 15u);
  const Json& last = rows.back();
  EXPECT_EQ(last["title"], "deep");
  EXPECT_EQ(last["depth"], 14);
  EXPECT_EQ(last["path"].size(), 14u);
}

TEST(AccessibilityTreeTest, SnapshotStopsAtSixHundredRows) {
  // 30 groups of 30 items: 931 elements. Each group takes 31 rows, so rows
  // 0-589 are the window and groups 0-18, row 590 is group 19 and rows
  // 591-599 its first nine items.
  Json groups = Json::array();
  for (int g = 0; g < 30; ++g)
    groups.push_back({{"role", "AXGroup"}, {"children", blanks(30)}});
  auto desktop = desktopWith(groups);
  Json rows = accessibilityTree(*desktop, windowParams());
  ASSERT_EQ(rows.size(), 600u);
  EXPECT_EQ(rows[590]["path"], Json::array({19}));
  EXPECT_EQ(rows[599]["index"], 599);
  EXPECT_EQ(rows[599]["path"], Json::array({19, 8}));
  EXPECT_EQ(rows[599]["title"], "8");
}

// A row costs four round trips: one batched read of its plain attributes
// (with its children where the walk goes on below it), the action names and
// the two settable queries. Children are read only where the walk expands:
// not at depth 14, not for the 600th row.
TEST(AccessibilityTreeTest, EachRowCostsFourRoundTrips) {
  Json groups = Json::array();
  for (int g = 0; g < 30; ++g)
    groups.push_back({{"role", "AXGroup"}, {"children", blanks(30)}});
  struct Case {
    const char* name;
    Json children;
    size_t rows;
    uint64_t childLists;
  };
  const Case cases[] = {
      {"cut at 600 rows", groups, 600, 599},
      {"deeper than the walk goes", Json::array({testing::nested(16, {{"role", "AXButton"}})}), 15,
       14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto desktop = desktopWith(c.children);
    platform::AXElement window = testing::windowElement(*desktop);
    testing::CountingAccessibility counter(desktop->accessibility());
    Json rows = snapshotRows(counter, window, testing::kWindowFrame);
    ASSERT_EQ(rows.size(), c.rows);
    EXPECT_EQ(counter.calls(), 4 * c.rows);
    EXPECT_EQ(counter.batches(), c.rows);
    EXPECT_EQ(counter.reads("AXChildren"), c.childLists);
    EXPECT_EQ(counter.reads("AXRole"), c.rows);
  }
}

}  // namespace
}  // namespace cuh
