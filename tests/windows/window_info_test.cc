#include "windows/window_info.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "support/test_desktop.h"

namespace cuh {
namespace {

using nlohmann::json;

using testing::sceneFrame;

json scene() {
  return json{
      {"apps", {{{"pid", 100}, {"name", "Editor"}}, {{"pid", 200}, {"name", "Other"}}}},
      {"windows",
       {
           {{"id", 11}, {"pid", 100}, {"bounds", sceneFrame(10, 20, 640, 480)}},
           {{"id", 12}, {"pid", 100}, {"bounds", sceneFrame(0, 0, 20, 300)}},
           {{"id", 13}, {"pid", 100}, {"bounds", sceneFrame(0, 0, 20.5, 20.5)}},
           {{"id", 14}, {"pid", 100}, {"alpha", 0}, {"bounds", sceneFrame(1, 2, 300, 200)}},
           {{"id", 15}, {"pid", 100}, {"onScreen", false}, {"bounds", sceneFrame(1, 2, 300, 200)}},
           {{"id", 16},
            {"pid", 100},
            {"onScreen", nullptr},
            {"bounds", sceneFrame(1, 2, 300, 200)}},
           {{"id", 17}, {"pid", 100}, {"layer", 8}, {"bounds", sceneFrame(1, 2, 300, 200)}},
           {{"id", 18},
            {"pid", 100},
            {"bounds", sceneFrame(1, 2, 300, 200)},
            {"row", {{"kCGWindowBounds", {{"X", 1}, {"Y", 2}, {"Width", 300}, {"Height", "x"}}}}}},
           {{"id", 19},
            {"pid", 100},
            {"bounds", sceneFrame(1, 2, 300, 200)},
            {"row", {{"kCGWindowOwnerPID", nullptr}}}},
           {{"id", 20}, {"pid", 0}, {"bounds", sceneFrame(1, 2, 300, 200)}},
           {{"id", 21}, {"pid", 200}, {"bounds", sceneFrame(5, 6, 100, 100)}},
       }},
  };
}

Json visibleAt(bool visible, int ownerPid, double x, double y, double width, double height) {
  return Json{{"visible", visible},
              {"ownerPid", ownerPid},
              {"bounds", {{"x", x}, {"y", y}, {"width", width}, {"height", height}}}};
}

TEST(WindowInfoTest, AnswersEachResultForm) {
  auto desktop = sim::SimDesktop::create(scene());
  struct Case {
    Json params;
    Json result;
  } cases[] = {
      {{{"windowId", 11}}, visibleAt(true, 100, 10, 20, 640, 480)},
      {{{"windowId", 11}, {"ownerPid", 100}}, visibleAt(true, 100, 10, 20, 640, 480)},
      {{{"windowId", 11.7}, {"ownerPid", 0}}, visibleAt(true, 100, 10, 20, 640, 480)},
      {{{"windowId", 11}, {"ownerPid", -5}}, visibleAt(true, 100, 10, 20, 640, 480)},
      {{{"windowId", 11}, {"ownerPid", "200"}}, visibleAt(true, 100, 10, 20, 640, 480)},
      {{{"windowId", 11}, {"ownerPid", 200}},
       {{"visible", false}, {"terminal", true}, {"ownerPid", 100}}},
      {{{"windowId", 999}}, {{"visible", false}}},
      {{{"windowId", 999}, {"ownerPid", 100}}, {{"visible", false}}},
      {{{"windowId", 12}}, visibleAt(false, 100, 0, 0, 20, 300)},
      {{{"windowId", 13}}, visibleAt(true, 100, 0, 0, 20.5, 20.5)},
      {{{"windowId", 14}}, visibleAt(false, 100, 1, 2, 300, 200)},
      {{{"windowId", 15}}, visibleAt(false, 100, 1, 2, 300, 200)},
      {{{"windowId", 16}}, visibleAt(false, 100, 1, 2, 300, 200)},
      // Layer is not asked here: a panel on another layer is still there.
      {{{"windowId", 17}}, visibleAt(true, 100, 1, 2, 300, 200)},
      {{{"windowId", 18}}, {{"visible", false}, {"ownerPid", 100}}},
      {{{"windowId", 19}}, {{"visible", false}}},
      {{{"windowId", 20}, {"ownerPid", 100}}, {{"visible", false}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowInfo(*desktop, c.params), c.result) << c.params;
  }
}

TEST(WindowInfoTest, RefusesAMissingOrOutOfRangeWindowIdWithoutEndingTheProcess) {
  auto desktop = sim::SimDesktop::create(scene());
  struct Case {
    Json params;
    std::string message;
  } cases[] = {
      {Json::object(), "Missing macOS computer-use parameter: windowId"},
      {{{"windowId", "11"}}, "Missing macOS computer-use parameter: windowId"},
      {{{"windowId", nullptr}}, "Missing macOS computer-use parameter: windowId"},
      {{{"windowId", 4294967296.0}}, "The macOS computer-use parameter windowId is out of range"},
      {{{"windowId", -1}}, "The macOS computer-use parameter windowId is out of range"},
      {{{"windowId", 11}, {"ownerPid", 2147483648LL}},
       "The macOS computer-use parameter ownerPid is out of range"},
  };
  for (const Case& c : cases) {
    try {
      windowInfo(*desktop, c.params);
      ADD_FAILURE() << "no failure for " << c.params;
    } catch (const HelperFailure& failure) {
      EXPECT_EQ(failure.message(), c.message) << c.params;
    }
  }
  // The highest window id is in range and simply names no window.
  EXPECT_EQ(windowInfo(*desktop, {{"windowId", 4294967295LL}}), (Json{{"visible", false}}));
}

}  // namespace
}  // namespace cuh
