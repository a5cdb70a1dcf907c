#include "windows/exact_window.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/sim/sim_desktop.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "support/test_desktop.h"
#include "windows/ax_readers.h"

namespace cuh {
namespace {

using nlohmann::json;

using testing::sceneFrame;

// One application (pid 100) with one window (id 11): the row shows `row`,
// the accessibility element `element`.
std::unique_ptr<sim::SimDesktop> oneWindow(const json& rowFrame,
                                           const json& elementFrame,
                                           const json& rowTitle,
                                           const json& elementTitle,
                                           const json& owner = "Browser",
                                           const json& extra = json::object()) {
  json ax = {{"ref", "w"}, {"frame", elementFrame}, {"title", elementTitle}};
  ax.update(extra);
  return sim::SimDesktop::create(json{{"apps", {{{"pid", 100}, {"name", "Browser"}}}},
                                      {"windows",
                                       {{{"id", 11},
                                         {"pid", 100},
                                         {"owner", owner},
                                         {"title", rowTitle},
                                         {"bounds", rowFrame},
                                         {"ax", ax}}}}});
}

platform::AXElement windowElement(sim::SimDesktop& desktop) {
  auto& ax = desktop.accessibility();
  auto windows = elementList(ax, ax.createApplication(100), "AXWindows");
  if (windows.size() != 1)
    throw std::runtime_error("expected one window element");
  return windows[0];
}

bool matches(sim::SimDesktop& desktop) {
  auto row = platform::windowRow(desktop, 100, 11);
  if (!row)
    throw std::runtime_error("no row for window 11");
  return windowMatches(desktop.accessibility(), windowElement(desktop), *row);
}

TEST(WindowFrameToleranceTest, GrowsWithTheLargerEdgeBetweenTwoAndEight) {
  struct Case {
    double width, height, tolerance;
  } cases[] = {
      {100, 50, 2.0},  {1000, 800, 2.0},  {800, 1000, 2.0}, {1500, 10, 3.0},
      {2500, 10, 5.0}, {3999, 10, 7.998}, {4000, 10, 8.0},  {10000, 10, 8.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(windowFrameTolerance(c.width, c.height), c.tolerance)
        << c.width << " x " << c.height;
  }
}

TEST(WindowMatchesTest, AcceptsFrameDifferencesUpToTheTolerance) {
  struct Case {
    json rowFrame, elementFrame;
    bool matches;
  } cases[] = {
      {sceneFrame(100, 100, 1000, 800), sceneFrame(102, 100, 1000, 800), true},
      {sceneFrame(100, 100, 1000, 800), sceneFrame(100, 98, 1000, 800), true},
      {sceneFrame(100, 100, 1000, 800), sceneFrame(100, 100, 998, 802), true},
      {sceneFrame(100, 100, 1000, 800), sceneFrame(102.5, 100, 1000, 800), false},
      {sceneFrame(100, 100, 1000, 800), sceneFrame(100, 100, 1000, 797.5), false},
      {sceneFrame(0, 0, 3000, 800), sceneFrame(6, 0, 3000, 800), true},
      {sceneFrame(0, 0, 3000, 800), sceneFrame(6.5, 0, 3000, 800), false},
      {sceneFrame(0, 0, 5000, 800), sceneFrame(0, 8, 5000, 808), true},
      {sceneFrame(0, 0, 5000, 800), sceneFrame(0, 8.5, 5000, 800), false},
  };
  for (const Case& c : cases) {
    auto desktop = oneWindow(c.rowFrame, c.elementFrame, "Page", "Page");
    EXPECT_EQ(matches(*desktop), c.matches) << c.rowFrame << " vs " << c.elementFrame;
  }
}

TEST(WindowMatchesTest, HiddenMinimisedOrFramelessElementsNeverMatch) {
  const json same = sceneFrame(10, 10, 500, 400);
  const json extras[] = {
      {{"hidden", true}},
      {{"minimized", true}},
      {{"attributes", {{"AXMinimized", 1}}}},  // a number counts by its boolean value
      {{"frame", nullptr}},
  };
  for (const json& extra : extras) {
    auto desktop = oneWindow(same, same, "Page", "Page", "Browser", extra);
    EXPECT_FALSE(matches(*desktop)) << extra;
  }
  auto visible = oneWindow(same, same, "Page", "Page", "Browser", {{"minimized", false}});
  EXPECT_TRUE(matches(*visible));
}

TEST(WindowMatchesTest, TitlesAgreeByTheOwnerSuffixRules) {
  const std::string e = "\xC3\xA9";             // é, precomposed
  const std::string eDecomposed = "e\xCC\x81";  // e + combining acute
  struct Case {
    std::string rowTitle, elementTitle, owner;
    bool agree;
  } cases[] = {
      {"T", "T", "O", true},
      {"T", "T - O", "O", true},
      {"T", "T - O - Profile 1", "O", true},
      {"N - O", "N", "O", true},
      {"T", "T (2)", "O", false},
      {"T", "T - O2", "O", false},
      {"T", "T - O", "", false},
      {"T", "T", "", true},
      {"T", "", "", true},  // an untitled element agrees with any row
      {"", "Anything", "O", true},
      {"T", "t", "O", false},   // no case folding
      {"T", "T ", "O", false},  // no trimming
      {"Caf" + e, "Caf" + eDecomposed, "O", true},
      {"Caf" + eDecomposed, "Caf" + e + " - O", "O", true},
      {"R" + e + "sum" + e, "R" + eDecomposed + "sum" + e + " - Pr" + eDecomposed + "view - x",
       "Pr" + e + "view", true},
      {"Caf" + e, "Cafe", "O", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(titlesAgree(c.elementTitle, c.rowTitle, c.owner), c.agree)
        << "row '" << c.rowTitle << "' element '" << c.elementTitle << "' owner '" << c.owner
        << "'";
  }
  // The same rules through the element and the row.
  const json same = sceneFrame(10, 10, 500, 400);
  EXPECT_TRUE(matches(*oneWindow(same, same, "Caf" + e, "Caf" + eDecomposed + " - Browser")));
  EXPECT_FALSE(matches(*oneWindow(same, same, "T", "T (2)")));
  EXPECT_TRUE(matches(*oneWindow(same, same, nullptr, "Whatever")));  // a row without a title
  EXPECT_FALSE(matches(*oneWindow(same, same, "T", "T - Browser", nullptr)));  // no owner name
}

class ExactWindowTest : public ::testing::Test {
 protected:
  double elapsed() const { return desktop->virtualClock()->uptime() - start; }
  void begin(const json& scene) {
    desktop = sim::SimDesktop::create(scene);
    start = desktop->virtualClock()->uptime();
  }
  platform::Value observedRow(int32_t pid, uint32_t windowId) {
    auto row = platform::windowRow(*desktop, pid, windowId);
    if (!row)
      throw std::runtime_error("window not listed");
    return *row;
  }
  std::string failure(int32_t pid, uint32_t windowId, const platform::Value& row) {
    try {
      exactWindow(*desktop, pid, windowId, row);
    } catch (const HelperFailure& f) {
      return f.message();
    }
    return "(resolved)";
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  double start = 0;
};

json twoWindows(const json& secondElement) {
  return json{{"apps", {{{"pid", 100}, {"name", "Browser"}}}},
              {"windows",
               {{{"id", 11},
                 {"pid", 100},
                 {"title", "Doc"},
                 {"bounds", sceneFrame(0, 0, 1000, 800)},
                 {"ax", {{"ref", "doc"}}}},
                {{"id", 12},
                 {"pid", 100},
                 {"title", "Other"},
                 {"bounds", sceneFrame(0, 0, 1000, 800)},
                 {"ax", secondElement}}}}};
}

TEST_F(ExactWindowTest, ResolvesAUniqueMatchAtOnce) {
  begin(twoWindows({{"ref", "other"}}));
  platform::Value row = observedRow(100, 11);
  start = desktop->virtualClock()->uptime();
  auto element = exactWindow(*desktop, 100, 11, row);
  EXPECT_EQ(desktop->targetName(element), "doc");
  EXPECT_NEAR(elapsed(), 0.0, 1e-9);
}

TEST_F(ExactWindowTest, ATitleChangedSinceTheObservationResolvesOnTheFirstRetry) {
  begin(twoWindows({{"ref", "other"}}));
  platform::Value row = observedRow(100, 11);
  desktop->apply({{"setTitle", {{"id", 11}, {"title", "Doc (edited)"}}}});
  auto element = exactWindow(*desktop, 100, 11, row);
  EXPECT_EQ(desktop->targetName(element), "doc");
  EXPECT_NEAR(elapsed(), 0.1, 1e-9);

  // A move of exactly 1.5 points still counts as the same place.
  begin(twoWindows({{"ref", "other"}}));
  row = observedRow(100, 11);
  desktop->apply({{"setTitle", {{"id", 11}, {"title", "Doc (edited)"}}}});
  desktop->apply({{"move", {{"id", 11}, {"x", 1.5}, {"y", -1.5}}}});
  element = exactWindow(*desktop, 100, 11, row);
  EXPECT_EQ(desktop->targetName(element), "doc");
  EXPECT_NEAR(elapsed(), 0.1, 1e-9);
}

TEST_F(ExactWindowTest, RefusesWhenTheMatchIsNotUniqueOrTheWindowChanged) {
  struct Case {
    const char* name;
    json scene;
    json change;  // applied after the observation; null for none
    std::string message;
    double wait;
  } cases[] = {
      {"an untitled element agrees with any title", twoWindows({{"title", ""}}), nullptr,
       "The observed macOS window could not be uniquely matched. Call get_app_state again", 0.2},
      {"moved by 3 points",
       twoWindows({{"ref", "other"}}),
       {{"move", {{"id", 11}, {"x", 3}, {"y", 0}}}},
       "The observed macOS window moved or resized. Call get_app_state again",
       0.1},
      {"resized by 2.5 points",
       twoWindows({{"ref", "other"}}),
       {{"resize", {{"id", 11}, {"width", 1000}, {"height", 802.5}}}},
       "The observed macOS window moved or resized. Call get_app_state again",
       0.1},
      {"closed",
       twoWindows({{"ref", "other"}}),
       {{"closeWindow", 11}},
       "The observed macOS window could not be uniquely matched. Call get_app_state again",
       0.2},
      {"an application that does not answer",
       json{{"apps", {{{"pid", 100}, {"name", "Browser"}, {"axEnabled", false}}}},
            {"windows",
             {{{"id", 11},
               {"pid", 100},
               {"bounds", sceneFrame(0, 0, 500, 500)},
               {"ax", json::object()}}}}},
       nullptr, "The observed macOS window could not be uniquely matched. Call get_app_state again",
       0.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    begin(c.scene);
    platform::Value row = observedRow(100, 11);
    if (!c.change.is_null())
      desktop->apply(c.change);
    EXPECT_EQ(failure(100, 11, row), c.message);
    EXPECT_NEAR(elapsed(), c.wait, 1e-9);
  }
}

TEST_F(ExactWindowTest, ARowWithoutBoundsFailsWithoutWaiting) {
  begin(twoWindows({{"ref", "other"}}));
  platform::Value row(
      platform::Dictionary{{platform::kRowWindowNumber, platform::Value::integer(11)},
                           {platform::kRowOwnerPID, platform::Value::integer(100)},
                           {platform::kRowWindowName, platform::Value::string("Doc")}});
  EXPECT_EQ(failure(100, 11, row),
            "The observed macOS window no longer has valid bounds. Call get_app_state again");
  EXPECT_NEAR(elapsed(), 0.0, 1e-9);
}

TEST(AxReadersTest, ReadEachKindAndGiveEmptyResultsForTheRest) {
  auto desktop = sim::SimDesktop::create(
      json{{"apps", {{{"pid", 100}, {"name", "App"}}}},
           {"windows",
            {{{"id", 11},
              {"pid", 100},
              {"bounds", sceneFrame(0, 0, 300, 200)},
              {"ax",
               {{"children",
                 {{{"ref", "slider"},
                   {"role", "AXSlider"},
                   {"value", 0.25},
                   {"enabled", true},
                   {"actions", {"AXIncrement", "AXDecrement"}}},
                  {{"ref", "label"},
                   {"value", {{"attributed", "Bold text"}}},
                   {"attributes", {{"AXCount", 3}, {"AXList", {"a", "b"}}}}}}}}}}}}});
  auto& ax = desktop->accessibility();
  auto window = elementList(ax, ax.createApplication(100), "AXWindows").at(0);
  EXPECT_EQ(rect(ax, window), (platform::Rect{{0, 0}, {300, 200}}));
  auto kids = children(ax, window);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(desktop->targetName(kids[0]), "slider");
  const auto& slider = kids[0];
  const auto& label = kids[1];

  EXPECT_EQ(stringAttribute(ax, slider, "AXValue"), "0.25");
  EXPECT_EQ(stringAttribute(ax, label, "AXValue"), "Bold text");
  EXPECT_EQ(stringAttribute(ax, label, "AXCount"), "3");
  EXPECT_EQ(stringAttribute(ax, label, "AXList"), "");
  EXPECT_EQ(stringAttribute(ax, label, "AXTitle"), "");
  EXPECT_EQ(stringAttribute(ax, slider, "AXEnabled"), "1");  // a boolean reads as a number

  EXPECT_EQ(platform::boolAttribute(ax, slider, "AXEnabled"), true);
  EXPECT_EQ(platform::boolAttribute(ax, label, "AXCount"), true);
  EXPECT_EQ(platform::boolAttribute(ax, label, "AXEnabled"), std::nullopt);  // unsupported
  EXPECT_EQ(platform::boolAttribute(ax, label, "AXValue"), std::nullopt);    // not a boolean

  EXPECT_EQ(actions(ax, slider), (std::vector<std::string>{"AXIncrement", "AXDecrement"}));
  EXPECT_TRUE(actions(ax, label).empty());
  EXPECT_TRUE(children(ax, slider).empty());  // no "AXChildren"
  EXPECT_EQ(rect(ax, slider), std::nullopt);  // no frame
}

// A batch reads each of its slots exactly as the single reader of the same
// name reads the attribute alone, for elements that answer, that cannot be
// asked at all, and for attributes the batch did not read.
TEST(AxReadersTest, ABatchReadsEverySlotAsTheSingleReaderDoes) {
  auto desktop = sim::SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 100, "name": "App"}, {"pid": 200, "axEnabled": false}],
    "windows": [
      {"id": 11, "pid": 100, "title": "Doc", "bounds": {"x": 0, "y": 0, "width": 300, "height": 200},
       "ax": {"children": [
         {"ref": "slider", "role": "AXSlider", "value": 0.25, "enabled": true, "hidden": false,
          "frame": {"x": 1, "y": 2, "width": 3, "height": 4}},
         {"ref": "label", "value": {"attributed": "Bold"}, "focused": true,
          "attributes": {"AXRole": 5, "AXEnabled": 0, "AXPosition": {"width": 1, "height": 1},
                         "AXSize": {"width": 2, "height": 2}, "AXChildren": "none",
                         "AXParent": "up", "AXTitle": [1]}},
         {"ref": "gone"}]}},
      {"id": 21, "pid": 200, "bounds": {"x": 0, "y": 0, "width": 9, "height": 9}, "ax": {}}]})"));
  auto& ax = desktop->accessibility();
  platform::AXElement gone = desktop->element("gone");
  desktop->apply(json::parse(R"({"remove": "gone"})"));
  const std::vector<std::string_view> names = {
      "AXRole", "AXTitle",    "AXValue",  "AXEnabled", "AXFocused",       "AXHidden", "AXPosition",
      "AXSize", "AXChildren", "AXParent", "AXWindows", "AXFocusedWindow", "AXNothing"};
  const std::pair<const char*, platform::AXElement> elements[] = {
      {"slider", desktop->element("slider")},
      {"odd kinds", desktop->element("label")},
      {"window", desktop->element("11/")},
      {"application", ax.createApplication(100)},
      {"gone", gone},
      {"not answering", ax.createApplication(200)},
      {"no element", platform::AXElement()},
  };
  auto refsOf = [&](const std::vector<platform::AXElement>& list) {
    std::vector<std::string> out;
    for (const auto& e : list)
      out.push_back(desktop->targetName(e));
    return out;
  };
  for (const auto& [name, element] : elements) {
    SCOPED_TRACE(name);
    const AttributeBatch batch(ax, element, names);
    for (std::string_view attribute : names) {
      SCOPED_TRACE(attribute);
      EXPECT_EQ(batch.text(attribute), stringAttribute(ax, element, attribute));
      EXPECT_EQ(batch.boolean(attribute), platform::boolAttribute(ax, element, attribute));
      EXPECT_EQ(refsOf(batch.elements(attribute)), refsOf(elementList(ax, element, attribute)));
      auto single = platform::elementAttribute(ax, element, attribute);
      auto slot = batch.element(attribute);
      ASSERT_EQ(slot.has_value(), single.has_value());
      if (slot) {
        EXPECT_TRUE(slot->isEqual(*single));
      }
    }
    EXPECT_EQ(batch.frame(), rect(ax, element));
    EXPECT_EQ(batch.text("AXDescription"), "");  // not in the batch
    EXPECT_FALSE(batch.slot("AXDescription").ok());
  }
}

}  // namespace
}  // namespace cuh
