#include "windows/window_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "platform/window_rows.h"
#include "support/counting_accessibility.h"
#include "support/test_desktop.h"

namespace cuh {
namespace {

using nlohmann::json;

using testing::sceneFrame;

// Front to back: the window list order is the array order.
json listingScene() {
  return json{
      {"frontmost", 100},
      {"apps",
       {
           {{"pid", 100},
            {"name", "Editor"},
            {"bundleId", "com.example.editor"},
            {"focusedWindow", 12}},
           {{"pid", 200}, {"name", "Mute"}, {"axEnabled", false}},
           {{"pid", 300}, {"name", "Twins"}, {"focusedWindow", 31}},
           {{"pid", 400}, {"name", "Background"}},
       }},
      {"windows",
       {
           {{"id", 11},
            {"pid", 100},
            {"title", "Notes"},
            {"bounds", sceneFrame(0, 0, 400, 300)},
            {"ax", json::object()}},
           {{"id", 90}, {"pid", 100}, {"alpha", 0}, {"bounds", sceneFrame(0, 0, 400, 300)}},
           {{"id", 91}, {"pid", 100}, {"layer", 25}, {"bounds", sceneFrame(0, 0, 400, 30)}},
           {{"id", 92}, {"pid", 100}, {"bounds", sceneFrame(5, 5, 1, 300)}},
           {{"id", 12},
            {"pid", 100},
            {"bounds", sceneFrame(10, 20, 1.5, 300)},
            {"ax", json::object()}},
           {{"id", 21},
            {"pid", 200},
            {"title", "Quiet"},
            {"bounds", sceneFrame(50, 50, 500, 400)},
            {"ax", json::object()}},
           {{"id", 31},
            {"pid", 300},
            {"title", "Same"},
            {"bounds", sceneFrame(100, 100, 600, 500)},
            {"ax", json::object()}},
           {{"id", 32},
            {"pid", 300},
            {"title", "Same"},
            {"bounds", sceneFrame(100, 100, 600, 500)},
            {"ax", json::object()}},
           {{"id", 41},
            {"pid", 400},
            {"title", "Back"},
            {"onScreen", false},
            {"bounds", sceneFrame(200, 200, 300, 200)},
            {"ax", json::object()}},
           {{"id", 51}, {"pid", 999}, {"owner", "daemon"}, {"bounds", sceneFrame(0, 0, 50, 50)}},
       }},
  };
}

std::vector<uint32_t> windowIds(const Json& rows) {
  std::vector<uint32_t> ids;
  for (const Json& row : rows)
    ids.push_back(row["windowId"].get<uint32_t>());
  return ids;
}

const Json& rowOf(const Json& rows, uint32_t windowId) {
  for (const Json& row : rows) {
    if (row["windowId"] == windowId)
      return row;
  }
  throw std::runtime_error("window " + std::to_string(windowId) + " not listed");
}

TEST(ListWindowsTest, ListsQualifyingRowsWithTheirTwelveKeysAndGaplessZOrder) {
  auto desktop = sim::SimDesktop::create(listingScene());
  Json rows = listWindows(*desktop);

  // Alpha 0, layer 25 and the 1-point-wide window are left out; 1.5 points
  // wide is enough.
  EXPECT_EQ(windowIds(rows), (std::vector<uint32_t>{11, 12, 21, 31, 32, 41, 51}));
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].size(), 12u) << rows[i];
    EXPECT_EQ(rows[i]["zOrder"], i);
  }
  EXPECT_EQ(rowOf(rows, 11), (Json{{"windowId", 11},
                                   {"pid", 100},
                                   {"owner", "Editor"},
                                   {"bundleId", "com.example.editor"},
                                   {"title", "Notes"},
                                   {"x", 0},
                                   {"y", 0},
                                   {"width", 400},
                                   {"height", 300},
                                   {"focused", false},
                                   {"onScreen", true},
                                   {"zOrder", 0}}));
  // Untitled: the owner name stands in.
  EXPECT_EQ(rowOf(rows, 12)["title"], "Editor");
  EXPECT_EQ(rowOf(rows, 12)["width"], 1.5);
  EXPECT_EQ(rowOf(rows, 41)["onScreen"], false);
  // A process that is no application: listed, without a bundle identifier.
  EXPECT_EQ(rowOf(rows, 51)["bundleId"], "");
  EXPECT_EQ(rowOf(rows, 51)["owner"], "daemon");
}

TEST(ListWindowsTest, MarksExactlyOneUnambiguousFocusedWindowPerApplication) {
  auto desktop = sim::SimDesktop::create(listingScene());
  Json rows = listWindows(*desktop);
  std::vector<uint32_t> focused;
  for (const Json& row : rows) {
    if (row["focused"] == true)
      focused.push_back(row["windowId"]);
  }
  // 12: the Editor's focused window, even behind its other window.
  // 21: its application does not answer accessibility.
  // 31 and 32: identical frame and title, so neither can be told apart.
  // 41: the focused window of an application that is not frontmost.
  EXPECT_EQ(focused, (std::vector<uint32_t>{12, 41}));
}

TEST(ListWindowsTest, AsksEachApplicationForItsFocusedWindowOncePerListing) {
  auto desktop = sim::SimDesktop::create(listingScene());
  testing::CountingPlatform counting(*desktop);
  listWindows(counting);
  // Five owners (100, 200, 300, 400, 999), whatever their window count.
  EXPECT_EQ(counting.counter().reads("AXFocusedWindow"), 5u);
  // Each focused window's frame is read once, not once per row.
  EXPECT_EQ(counting.counter().reads("AXPosition"), 3u);
  // What the match compares of a focused window is one round trip.
  EXPECT_EQ(counting.counter().calls(), 5u + 3u);
}

TEST(ListWindowsTest, UnreadableWindowListGivesNoRows) {
  auto desktop = sim::SimDesktop::create(listingScene());
  testing::CountingPlatform counting(*desktop);
  const std::optional<platform::Value> answers[] = {
      std::nullopt,
      platform::Value::string("not a list"),
      platform::Value(platform::Array{platform::Value::integer(1)}),
  };
  for (const auto& answer : answers) {
    testing::FixedWindowServer server(answer);
    counting.setWindowServer(&server);
    EXPECT_EQ(listWindows(counting), Json::array());
    EXPECT_EQ(platform::windowRow(counting, 100, 11), std::nullopt);
    EXPECT_EQ(platform::frontmostWindowID(counting, 100), 0u);
  }
}

TEST(WindowRowTest, FindsOnlyAQualifyingWindowOfTheGivenProcess) {
  auto desktop = sim::SimDesktop::create(listingScene());
  EXPECT_TRUE(platform::windowRow(*desktop, 100, 11).has_value());
  // The 1-point-wide window passes: the frame size is no part of the test.
  EXPECT_TRUE(platform::windowRow(*desktop, 100, 92).has_value());
  EXPECT_FALSE(platform::windowRow(*desktop, 200, 11).has_value());  // another pid
  EXPECT_FALSE(platform::windowRow(*desktop, 100, 90).has_value());  // alpha 0
  EXPECT_FALSE(platform::windowRow(*desktop, 100, 91).has_value());  // layer 25
  EXPECT_FALSE(platform::windowRow(*desktop, 100, 77).has_value());  // no such window
}

TEST(WindowRowTest, RowWithoutOwnerOrNumberNamesNoWindow) {
  auto desktop = sim::SimDesktop::create(json{{"windows",
                                               {
                                                   {{"id", 5},
                                                    {"pid", 7},
                                                    {"bounds", sceneFrame(0, 0, 100, 100)},
                                                    {"row", {{"kCGWindowOwnerPID", nullptr}}}},
                                               }}});
  auto rows = platform::windowListRows(desktop->windowServer(), platform::kListOneWindow, 5);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(platform::rowMatches(rows[0], 0, 5));
  platform::Value unnumbered(
      platform::Dictionary{{platform::kRowOwnerPID, platform::Value::integer(7)},
                           {platform::kRowLayer, platform::Value::integer(0)},
                           {platform::kRowAlpha, platform::Value::integer(1)}});
  EXPECT_FALSE(platform::rowMatches(unnumbered, 7, 0));
}

TEST(FrontmostWindowTest, IsTheFrontQualifyingOnScreenWindowOfTheProcess) {
  auto desktop = sim::SimDesktop::create(listingScene());
  EXPECT_EQ(platform::frontmostWindowID(*desktop, 100), 11u);
  EXPECT_EQ(platform::frontmostWindowID(*desktop, 300), 31u);
  EXPECT_EQ(platform::frontmostWindowID(*desktop, 400), 0u);  // only an off-screen window
  EXPECT_EQ(platform::frontmostWindowID(*desktop, 555), 0u);  // no windows at all
  desktop->apply(json{{"raise", 12}});
  EXPECT_EQ(platform::frontmostWindowID(*desktop, 100), 12u);
}

}  // namespace
}  // namespace cuh
