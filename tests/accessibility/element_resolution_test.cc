#include "accessibility/element_resolution.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "accessibility/ax_scene.h"
#include "protocol/helper_failure.h"
#include "support/counting_accessibility.h"

namespace cuh {
namespace {

using testing::desktopWith;
using testing::kWindowFrame;
using testing::relativeFrame;
using testing::windowElement;

const std::string kNoDurableIdentity =
    "The indexed accessibility element has no durable identity. Call get_app_state again and use "
    "an exact coordinate action";
const std::string kNotPresent =
    "The indexed accessibility element is no longer present. Call get_app_state again";
const std::string kAmbiguous =
    "The indexed accessibility element is ambiguous after refetch. Call get_app_state again";

// The ref of the element that resolves, or the failure message.
std::string resolveRef(sim::SimDesktop& desktop,
                       const Json& element,
                       bool requireDurableIdentity = false,
                       bool strictValue = false) {
  try {
    platform::AXElement found =
        resolveExpectedElement(desktop.accessibility(), windowElement(desktop), kWindowFrame,
                               ElementExpectation(element), requireDurableIdentity, strictValue);
    return desktop.targetName(found);
  } catch (const HelperFailure& failure) {
    return failure.message();
  }
}

Json saveButton(double x = 20, double y = 10) {
  return {{"ref", "save"},
          {"role", "AXButton"},
          {"title", "Save"},
          {"value", "1"},
          {"frame", relativeFrame(x, y, 80, 30)}};
}

// A toolbar holding a few buttons, the Save button at position 2.
Json toolbar() {
  return {{"ref", "toolbar"},
          {"role", "AXToolbar"},
          {"children", Json::array({{{"role", "AXButton"}, {"title", "Open"}},
                                    {{"role", "AXButton"}, {"title", "Close"}},
                                    saveButton(),
                                    {{"role", "AXButton"}, {"title", "Print"}},
                                    {{"role", "AXButton"}, {"title", "Share"}}})}};
}

// The Save button's snapshot row, with a different path when given.
Json observedSave(Json path = {0, 2}) {
  return {{"path", std::move(path)},
          {"role", "AXButton"},
          {"title", "Save"},
          {"value", "1"},
          {"x", 20},
          {"y", 10},
          {"width", 80},
          {"height", 30}};
}

TEST(ElementResolutionTest, ThePathStillLeadingToTheElementCostsOneWalk) {
  auto desktop = desktopWith(Json::array({toolbar()}));
  testing::CountingAccessibility counter(desktop->accessibility());
  platform::AXElement window = windowElement(*desktop);
  platform::AXElement found = resolveExpectedElement(
      counter, window, kWindowFrame, ElementExpectation(observedSave()), false, false);
  EXPECT_EQ(desktop->targetName(found), "save");
  EXPECT_EQ(counter.reads("AXChildren"), 2u);  // the path walk only: no search
  EXPECT_EQ(counter.reads("AXRole"), 1u);      // one identity comparison
  // The walk's two child lists, then the identity and the frame together.
  EXPECT_EQ(counter.calls(), 3u);
}

struct ResolveCase {
  const char* name;
  Json element;
  bool requireDurableIdentity;
  bool strictValue;
  std::string expected;  // a ref or a failure message
};

TEST(ElementResolutionTest, PathWalkSearchAndFlags) {
  Json roleAndPathOnly = {{"path", {0, 2}}, {"role", "AXButton"}};
  Json changedValue = observedSave();
  changedValue["value"] = "2";
  Json withoutHeight = observedSave({9});
  withoutHeight.erase("height");
  const std::vector<ResolveCase> cases = {
      {"path holds", observedSave(), false, false, "save"},
      {"path entry past the children", observedSave({0, 7}), false, false, "save"},
      {"negative path entry", observedSave({-1}), false, false, "save"},
      {"path to another element", observedSave({0, 0}), false, false, "save"},
      {"empty path is the window", {{"role", "AXWindow"}, {"title", "Doc"}}, true, true, "21/"},
      {"no durable identity required", roleAndPathOnly, true, false, kNoDurableIdentity},
      {"role and path without the requirement", roleAndPathOnly, false, false, "save"},
      {"changed value beside a title", changedValue, false, false, "save"},
      {"changed value when strict", changedValue, true, true, kNotPresent},
      {"gone", {{"role", "AXButton"}, {"title", "Export"}}, false, false, kNotPresent},
      // Five buttons fit: without a height the frame is ignored.
      {"no frame and several fit", {{"path", {9}}, {"role", "AXButton"}}, false, false, kAmbiguous},
      {"partial frame is ignored", withoutHeight, false, false, "save"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto desktop = desktopWith(Json::array({toolbar()}));
    EXPECT_EQ(resolveRef(*desktop, c.element, c.requireDurableIdentity, c.strictValue), c.expected);
  }
}

TEST(ElementResolutionTest, NoDurableIdentityFailsBeforeAnythingIsRead) {
  auto desktop = desktopWith(Json::array({toolbar()}));
  platform::AXElement window = windowElement(*desktop);
  testing::CountingAccessibility counter(desktop->accessibility());
  EXPECT_THROW(resolveExpectedElement(counter, window, kWindowFrame,
                                      ElementExpectation(Json{{"role", "AXButton"}}), true, false),
               HelperFailure);
  EXPECT_EQ(counter.calls(), 0u);
}

TEST(ElementResolutionTest, SiblingsInsertedBeforeTheElementAreSearchedPast) {
  auto desktop = desktopWith(Json::array({toolbar()}));
  for (int i = 0; i < 3; ++i) {
    desktop->apply(
        {{"insert",
          {{"parent", "toolbar"},
           {"index", 0},
           {"element", {{"role", "AXButton"}, {"title", "New " + std::to_string(i)}}}}}});
  }
  EXPECT_EQ(resolveRef(*desktop, observedSave()), "save");
}

struct DistanceCase {
  const char* name;
  double x;  // where the Save button now is (relative), observed at 20
  Json path;
  std::string expected;
};

TEST(ElementResolutionTest, EightyPointsAreToleratedEightyOneAreNot) {
  const std::vector<DistanceCase> cases = {
      {"80 at the path", 100, {0, 2}, "save"},   {"81 at the path", 101, {0, 2}, kNotPresent},
      {"80 in the search", 100, {5}, "save"},    {"81 in the search", 101, {5}, kNotPresent},
      {"moved left by 80", -60, {0, 2}, "save"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json bar = toolbar();
    bar["children"][2] = saveButton(c.x);
    auto desktop = desktopWith(Json::array({bar}));
    EXPECT_EQ(resolveRef(*desktop, observedSave(c.path)), c.expected);
  }
}

struct AmbiguityCase {
  const char* name;
  double secondX;  // the second Save button's relative x; the first is 3 off
  std::string expected;
};

TEST(ElementResolutionTest, ASecondCandidateWithinToleranceIsAmbiguousWhateverItsDistance) {
  const std::vector<AmbiguityCase> cases = {
      {"3 and 70", 90, kAmbiguous},
      {"3 and 80", 100, kAmbiguous},
      {"3 and 81", 101, "first"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json first = saveButton(23);
    first["ref"] = "first";
    Json second = saveButton(c.secondX);
    second["ref"] = "second";
    auto desktop = desktopWith(Json::array({second, first}));
    // The path leads nowhere, so the search decides.
    EXPECT_EQ(resolveRef(*desktop, observedSave({7})), c.expected);
  }
}

TEST(ElementResolutionTest, AZeroWidthElementNeedsAnExpectationWithoutFrame) {
  Json button = saveButton();
  button["frame"]["width"] = 0;
  auto desktop = desktopWith(Json::array({button}));
  EXPECT_EQ(resolveRef(*desktop, observedSave({0})), kNotPresent);
  EXPECT_EQ(resolveRef(*desktop, observedSave({7})), kNotPresent);
  EXPECT_EQ(resolveRef(*desktop, {{"path", {0}}, {"role", "AXButton"}, {"title", "Save"}}), "save");
  EXPECT_EQ(resolveRef(*desktop, {{"path", {7}}, {"role", "AXButton"}, {"title", "Save"}}), "save");
}

TEST(ElementResolutionTest, SearchReachesDepthSixteenOnlyAndThePathGoesDeeper) {
  struct Case {
    int depth;
    bool throughPath;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {16, false, "deep"},
      {17, false, kNotPresent},
      {17, true, "deep"},
      {30, true, "deep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.depth) + (c.throughPath ? " by path" : " by search"));
    Json leaf = saveButton();
    leaf["ref"] = "deep";
    auto desktop = desktopWith(Json::array({testing::nested(c.depth - 1, leaf)}));
    Json path = Json::array();
    for (int i = 0; i < c.depth; ++i)
      path.push_back(0);
    if (!c.throughPath)
      path.back() = 1;
    EXPECT_EQ(resolveRef(*desktop, observedSave(path)), c.expected);
  }
}

Json fillers(int count) {
  Json list = Json::array();
  for (int i = 0; i < count; ++i)
    list.push_back({{"role", "AXStaticText"}});
  return list;
}

TEST(ElementResolutionTest, SearchReadsTheFirstHundredTwentyChildren) {
  for (auto [position, expected] : {std::pair{119, std::string("save")}, {120, kNotPresent}}) {
    SCOPED_TRACE(position);
    Json list = fillers(position);
    list.push_back(saveButton());
    auto desktop = desktopWith(list);
    EXPECT_EQ(resolveRef(*desktop, observedSave({999})), expected);
  }
}

// A window in which the Save button is the `position`-th element of the
// search (the window is the first): groups of up to 100 fillers, then the
// button as the window's last child.
Json elementAtSearchPosition(int position) {
  Json top = Json::array();
  int before = position - 2;  // elements between the window and the button
  while (before > 0) {
    int kids = std::min(before - 1, 100);
    top.push_back({{"role", "AXGroup"}, {"children", fillers(kids)}});
    before -= kids + 1;
  }
  top.push_back(saveButton());
  return top;
}

TEST(ElementResolutionTest, SearchExaminesTwelveHundredElements) {
  for (auto [position, expected] : {std::pair{1200, std::string("save")}, {1201, kNotPresent}}) {
    SCOPED_TRACE(position);
    auto desktop = desktopWith(elementAtSearchPosition(position));
    testing::CountingAccessibility counter(desktop->accessibility());
    std::string outcome;
    try {
      outcome = desktop->targetName(
          resolveExpectedElement(counter, windowElement(*desktop), kWindowFrame,
                                 ElementExpectation(observedSave({999})), false, false));
    } catch (const HelperFailure& failure) {
      outcome = failure.message();
    }
    EXPECT_EQ(outcome, expected);
    EXPECT_EQ(counter.reads("AXRole"), 1200u);  // one identity comparison per element
    // The walk's one child list, then one round trip per element examined.
    EXPECT_EQ(counter.calls(), 1u + 1200u);
  }
}

}  // namespace
}  // namespace cuh
