#include "accessibility/element_expectation.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace cuh {
namespace {

TEST(ElementExpectationTest, ASnapshotRowBuildsTheWholeExpectation) {
  Json row = {{"index", 4},    {"depth", 2},        {"role", "AXButton"},
              {"subrole", ""}, {"title", "Save"},   {"description", "save"},
              {"value", "1"},  {"identifier", "s"}, {"path", {0, 3}},
              {"x", 10.5},     {"y", 20},           {"width", 80},
              {"height", 24},  {"help", "ignored"}, {"semanticLabel", "Save label"}};
  ElementExpectation e(row);
  EXPECT_EQ(e.path, (std::vector<int64_t>{0, 3}));
  EXPECT_EQ(e.role, "AXButton");
  EXPECT_EQ(e.identifier, "s");
  EXPECT_EQ(e.semanticLabel, "Save label");
  EXPECT_EQ(e.title, "Save");
  EXPECT_EQ(e.description, "save");
  EXPECT_EQ(e.value, "1");
  EXPECT_EQ(e.x, 10.5);
  EXPECT_EQ(e.y, 20.0);
  EXPECT_EQ(e.width, 80.0);
  EXPECT_EQ(e.height, 24.0);
  EXPECT_TRUE(e.hasFrame());
}

struct PathCase {
  const char* name;
  Json path;
  std::vector<int64_t> expected;
};

TEST(ElementExpectationTest, PathEntriesAreTruncatedAndABadEntryDropsThePath) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  const std::vector<PathCase> cases = {
      {"integers", {0, 1, 2}, {0, 1, 2}},
      {"fractions toward zero", {1.9, -0.5, -2.7}, {1, 0, -2}},
      {"booleans are numbers", {true, false}, {1, 0}},
      {"huge values saturate", {1e300, 18446744073709551615ULL}, {max, max}},
      {"a string entry", {0, "1"}, {}},
      {"a null entry", {0, nullptr}, {}},
      {"not an array", "0.1", {}},
      {"an object", {{"0", 1}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ElementExpectation(Json{{"path", c.path}}).path, c.expected);
  }
}

TEST(ElementExpectationTest, MistypedFieldsTakeTheirDefaults) {
  ElementExpectation e(Json{{"role", 3},
                            {"title", nullptr},
                            {"identifier", {"a"}},
                            {"value", 5},
                            {"x", "10"},
                            {"y", true},
                            {"width", nullptr},
                            {"height", 1}});
  EXPECT_EQ(e.role, "");
  EXPECT_EQ(e.title, "");
  EXPECT_EQ(e.identifier, "");
  EXPECT_EQ(e.value, "");  // a number is not a string here
  EXPECT_FALSE(e.x.has_value());
  EXPECT_EQ(e.y, 1.0);  // a boolean is a number
  EXPECT_FALSE(e.width.has_value());
  EXPECT_FALSE(e.hasFrame());
  EXPECT_FALSE(ElementExpectation(Json::array({1})).hasFrame());
}

TEST(ElementExpectationTest, DurableIdentityNeedsALabelOrValue) {
  struct Case {
    Json element;
    bool durable;
  };
  const std::vector<Case> cases = {
      {{{"role", "AXButton"}, {"path", {1}}, {"x", 1}, {"y", 1}, {"width", 1}, {"height", 1}},
       false},
      {{{"role", "AXButton"}, {"title", ""}, {"help", "not identity"}}, false},
      {{{"identifier", "id"}}, true},
      {{{"semanticLabel", "label"}}, true},
      {{{"title", "t"}}, true},
      {{{"description", "d"}}, true},
      {{{"value", "v"}}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.element.dump());
    EXPECT_EQ(ElementExpectation(c.element).hasDurableIdentity(), c.durable);
  }
}

TEST(ElementExpectationTest, GeometryDistanceSumsTheFourDifferencesRelativeToTheWindow) {
  ElementExpectation e(Json{{"x", 10}, {"y", 20}, {"width", 100}, {"height", 30}});
  platform::Rect window{{100, 50}, {800, 600}};
  // Relative origin (7, 25): |7-10| + |25-20| + |110-100| + |28-30| = 20.
  EXPECT_DOUBLE_EQ(geometryDistance(e, platform::Rect{{107, 75}, {110, 28}}, window), 20.0);
  EXPECT_DOUBLE_EQ(geometryDistance(e, platform::Rect{{110, 70}, {100, 30}}, window), 0.0);
}

}  // namespace
}  // namespace cuh
