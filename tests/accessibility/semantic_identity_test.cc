#include "accessibility/semantic_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accessibility/ax_scene.h"

namespace cuh {
namespace {

using testing::desktopWith;
using testing::elementAt;
using testing::windowElement;

// "é" composed (NFC) and decomposed (NFD).
const std::string kComposed = "Caf\xC3\xA9";
const std::string kDecomposed = "Cafe\xCC\x81";

Json button() {
  return {{"role", "AXButton"},
          {"title", "Save"},
          {"description", kDecomposed},
          {"identifier", "save"},
          {"value", "3"},
          {"children", Json::array({{{"role", "AXImage"}},
                                    {{"role", "AXStaticText"}, {"value", "Save label"}}})}};
}

struct IdentityCase {
  const char* name;
  Json expectation;
  bool strictValue;
  bool matches;
};

TEST(SemanticIdentityTest, ComparesRoleLabelsAndValueByTheirRules) {
  const std::vector<IdentityCase> cases = {
      {"role alone", {{"role", "AXButton"}}, false, true},
      {"other role", {{"role", "AXLink"}, {"title", "Save"}}, false, false},
      {"empty role against a role", {{"title", "Save"}}, false, false},
      {"role differs in case", {{"role", "axbutton"}}, false, false},
      {"title", {{"role", "AXButton"}, {"title", "Save"}}, false, true},
      {"title with a trailing space", {{"role", "AXButton"}, {"title", "Save "}}, false, false},
      {"title in another case", {{"role", "AXButton"}, {"title", "save"}}, false, false},
      {"description canonically equal",
       {{"role", "AXButton"}, {"description", kComposed}},
       false,
       true},
      {"description differs", {{"role", "AXButton"}, {"description", "Cafe"}}, false, false},
      {"identifier", {{"role", "AXButton"}, {"identifier", "save"}}, false, true},
      {"identifier differs", {{"role", "AXButton"}, {"identifier", "save2"}}, false, false},
      {"descendant label", {{"role", "AXButton"}, {"semanticLabel", "Save label"}}, false, true},
      {"descendant label differs", {{"role", "AXButton"}, {"semanticLabel", "Save"}}, false, false},
      {"changed value ignored beside a title",
       {{"role", "AXButton"}, {"title", "Save"}, {"value", "4"}},
       false,
       true},
      {"changed value counts when strict",
       {{"role", "AXButton"}, {"title", "Save"}, {"value", "4"}},
       true,
       false},
      {"same value when strict",
       {{"role", "AXButton"}, {"title", "Save"}, {"value", "3"}},
       true,
       true},
      {"changed value ignored beside an identifier",
       {{"role", "AXButton"}, {"identifier", "save"}, {"value", "4"}},
       false,
       true},
      {"value compared with only role and value",
       {{"role", "AXButton"}, {"value", "4"}},
       false,
       false},
      {"equal value with only role and value", {{"role", "AXButton"}, {"value", "3"}}, false, true},
      {"a semantic label does not exempt the value",
       {{"role", "AXButton"}, {"semanticLabel", "Save label"}, {"value", "4"}},
       false,
       false},
  };
  auto desktop = desktopWith(Json::array({button()}));
  platform::AXElement element = elementAt(*desktop, windowElement(*desktop), {0});
  ASSERT_TRUE(element);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(semanticIdentityMatches(desktop->accessibility(), element,
                                      ElementExpectation(c.expectation), c.strictValue),
              c.matches);
  }
}

TEST(SemanticIdentityTest, UnreadableAttributesCompareAsEmptyText) {
  auto desktop = desktopWith(Json::array({Json::object(), {{"role", "AXSlider"}, {"value", 0.5}}}));
  auto& ax = desktop->accessibility();
  platform::AXElement window = windowElement(*desktop);
  platform::AXElement bare = elementAt(*desktop, window, {0});
  EXPECT_TRUE(semanticIdentityMatches(ax, bare, ElementExpectation(Json::object()), true));
  EXPECT_FALSE(semanticIdentityMatches(ax, bare, ElementExpectation(Json{{"title", "x"}}), false));
  // A numeric value compares by its text.
  platform::AXElement slider = elementAt(*desktop, window, {1});
  EXPECT_TRUE(semanticIdentityMatches(
      ax, slider, ElementExpectation(Json{{"role", "AXSlider"}, {"value", "0.5"}}), true));
}

struct LabelCase {
  const char* name;
  Json element;
  std::string label;
};

// `count` descendants without text, one inside the other.
Json blankChain(int count, Json innermost) {
  return testing::nested(count, std::move(innermost));
}

TEST(DescendantLabelTest, FirstTextOfThePreOrderWalkWithinItsLimits) {
  Json hundredBlanks = Json::array();
  for (int i = 0; i < 100; ++i)
    hundredBlanks.push_back({{"role", "AXGroup"}});
  Json hundredAndOne = hundredBlanks;
  hundredAndOne.push_back({{"title", "101st child"}});
  const std::vector<LabelCase> cases = {
      {"the element itself is not examined",
       {{"title", "Self"}, {"children", Json::array({{{"role", "AXGroup"}}})}},
       ""},
      {"depth first before the next sibling",
       {{"children", Json::array({{{"children", Json::array({{{"description", "Deep"}}})}},
                                  {{"title", "Sibling"}}})}},
       "Deep"},
      {"title before description before value",
       {{"children", Json::array({{{"title", ""}, {"description", "D"}, {"value", "V"}}})}},
       "D"},
      {"value when nothing else", {{"children", Json::array({{{"value", 7}}})}}, "7"},
      {"only the first hundred children", {{"children", hundredAndOne}}, ""},
      {"the 300th descendant is examined",
       {{"children", Json::array({blankChain(299, {{"title", "found"}})})}},
       "found"},
      {"the 301st is not",
       {{"children", Json::array({blankChain(300, {{"title", "found"}})})}},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto desktop = desktopWith(Json::array({c.element}));
    platform::AXElement element = elementAt(*desktop, windowElement(*desktop), {0});
    ASSERT_TRUE(element);
    EXPECT_EQ(descendantLabel(desktop->accessibility(), element), c.label);
  }
}

}  // namespace
}  // namespace cuh
