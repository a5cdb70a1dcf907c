// Script rules: triggers fire once, in order, with their actions applied at
// that moment; and the actions themselves.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/sim_desktop.h"

namespace cuh::sim {
namespace {

using nlohmann::json;
using platform::Value;

json sceneWith(const char* script) {
  json scene = json::parse(R"({
    "frontmost": 1,
    "apps": [{"pid": 1, "name": "User"}, {"pid": 2, "name": "Target", "bundleId": "t.target", "path": "/A/Target.app"}],
    "windows": [
      {"id": 10, "pid": 1, "title": "User window", "bounds": {"x": 0, "y": 0, "width": 50, "height": 50}, "ax": {}},
      {"id": 20, "pid": 2, "title": "Doc", "bounds": {"x": 100, "y": 100, "width": 300, "height": 200},
       "ax": {"children": [
         {"ref": "field", "role": "AXTextField", "value": "v", "settable": ["AXValue"], "actions": ["AXPress"],
          "frame": {"x": 110, "y": 110, "width": 100, "height": 20},
          "children": [{"ref": "inner", "frame": {"x": 112, "y": 112, "width": 5, "height": 5}}]}
       ]}},
      {"id": 21, "pid": 2, "title": "Second", "bounds": {"x": 500, "y": 100, "width": 100, "height": 100}, "ax": {}}
    ]})");
  scene["script"] = json::parse(script);
  return scene;
}

std::vector<int64_t> firedRules(const SimDesktop& desktop) {
  std::vector<int64_t> out;
  for (const auto& line : desktop.traceLines("rule"))
    out.push_back(line["index"].get<int64_t>());
  return out;
}

TEST(SimScriptTest, EachTriggerFiresItsRuleOnceInOrder) {
  auto desktop = SimDesktop::create(sceneWith(R"([
    {"when": {"afterResponses": 2}, "do": [{"frontmost": 2}]},
    {"when": {"afterPosts": {"pid": 2, "count": 2}}, "do": [{"raise": 20}]},
    {"when": {"afterSet": {"ref": "field", "attribute": "AXValue"}}, "do": [{"setTitle": {"id": 20, "title": "Set"}}]},
    {"when": {"afterAction": {"ref": "field", "action": "AXPress"}}, "do": [{"frontmost": null}]},
    {"when": {"afterSet": {"ref": "app:2", "attribute": "AXFocusedWindow"}}, "do": [{"closeWindow": 21}]},
    {"when": {"afterResponses": 1}, "do": []}
  ])"));
  desktop->willWriteResponse(1);
  EXPECT_EQ(firedRules(*desktop), (std::vector<int64_t>{5}));
  desktop->willWriteResponse(2);
  desktop->willWriteResponse(3);
  EXPECT_EQ(firedRules(*desktop), (std::vector<int64_t>{5, 0}));
  EXPECT_EQ(desktop->frontmostPid(), 2);

  auto& events = desktop->events();
  quartz::OtherEventParams params;
  params.type = 13;
  events.postToPid(1, events.createOtherEvent(params));
  events.postToPid(2, events.createOtherEvent(params));
  EXPECT_EQ(firedRules(*desktop).size(), 2u);
  events.postToPid(2, events.createOtherEvent(params));
  EXPECT_EQ(firedRules(*desktop).back(), 1);
  auto rows = desktop->windowServer().copyWindowInfo(16, 0);
  EXPECT_EQ(*rows->as<platform::Array>()
                 ->at(0)
                 .find("kCGWindowNumber")
                 ->as<platform::Number>()
                 ->integerValue(),
            20);
  // The rule line comes right after the post that fired it.
  const auto& lines = desktop->traceLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2]["kind"], "post");
  EXPECT_EQ(lines.back()["kind"], "rule");

  auto& ax = desktop->accessibility();
  auto app = ax.createApplication(2);
  auto hit = ax.copyElementAtPosition(app, 150, 115);
  ASSERT_TRUE(hit.ok());
  // A failed set does not fire; a successful one does, once.
  EXPECT_NE(ax.setAttributeValue(*hit.value, "AXTitle", Value::string("x")),
            platform::AXError::success);
  EXPECT_EQ(firedRules(*desktop).size(), 3u);
  EXPECT_EQ(ax.setAttributeValue(*hit.value, "AXValue", Value::string("x")),
            platform::AXError::success);
  EXPECT_EQ(ax.setAttributeValue(*hit.value, "AXValue", Value::string("y")),
            platform::AXError::success);
  EXPECT_EQ(firedRules(*desktop).back(), 2);
  EXPECT_EQ(firedRules(*desktop).size(), 4u);
  EXPECT_EQ(desktop->attribute("20/", "AXTitle"), json("Set"));

  EXPECT_EQ(ax.performAction(*hit.value, "AXPress"), platform::AXError::success);
  EXPECT_EQ(desktop->frontmostPid(), std::nullopt);

  auto second = ax.copyElementAtPosition(app, 550, 150);
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(ax.setAttributeValue(app, "AXFocusedWindow", Value(Value::Storage(*second.value))),
            platform::AXError::success);
  EXPECT_EQ(firedRules(*desktop), (std::vector<int64_t>{5, 0, 1, 2, 3, 4}));
  // Closing the focused window passes focus to the app's next window.
  EXPECT_EQ(desktop->attribute("app:2", "AXFocusedWindow"), json("20/"));
}

// A line written on another thread (the reader's invalid-JSON answer) fires
// its rule on the main loop, and what that thread hands over after the line
// (the client's next request) comes after the events the rule raised, even
// when the main thread writes the next line before the loop gets to it.
TEST(SimScriptTest, ARuleOfALineWrittenElsewhereActsBeforeWhatFollowsTheLine) {
  for (bool mainWritesNext : {false, true}) {
    SCOPED_TRACE(mainWritesNext ? "the main thread writes the next line first" : "reader alone");
    auto desktop = SimDesktop::create(sceneWith(
        R"([{"when": {"afterResponses": 1}, "do": [{"userInput": {"pid": 2, "type": 1}}]}])"));
    std::vector<std::string> order;
    auto& events = desktop->events();
    auto tap = events.tapCreateForPid(
        2, quartz::kCGHeadInsertEventTap, quartz::kCGEventTapOptionDefault,
        quartz::CGEventMaskBit(quartz::kCGEventLeftMouseDown),
        [](void*, uint32_t, const quartz::Event& event, void* log) {
          static_cast<std::vector<std::string>*>(log)->push_back("user input reaches the tap");
          return event;
        },
        &order);
    auto source = events.createRunLoopSource(tap);
    events.addSourceToMainRunLoop(source);

    std::thread reader([&] {
      desktop->willWriteResponse(1);
      desktop->loop().post([&] { order.push_back("next request"); });
    });
    reader.join();
    EXPECT_TRUE(firedRules(*desktop).empty()) << "the desktop is the main thread's";
    if (mainWritesNext)
      desktop->willWriteResponse(2);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"user input reaches the tap", "next request"}));
    EXPECT_EQ(firedRules(*desktop), (std::vector<int64_t>{0}));
  }
}

TEST(SimScriptTest, WindowActionsMoveElementsWithTheirWindow) {
  auto desktop = SimDesktop::create(sceneWith("[]"));
  desktop->apply(json::parse(R"({"move": {"id": 20, "x": 150, "y": 90}})"));
  desktop->apply(json::parse(R"({"resize": {"id": 20, "width": 320, "height": 210}})"));
  EXPECT_EQ(desktop->attribute("20/", "AXPosition"), json::array({150.0, 90.0}));
  EXPECT_EQ(desktop->attribute("20/", "AXSize"), json::array({320.0, 210.0}));
  EXPECT_EQ(desktop->attribute("field", "AXPosition"), json::array({160.0, 100.0}));
  EXPECT_EQ(desktop->attribute("inner", "AXPosition"), json::array({162.0, 102.0}));
  auto row = desktop->windowServer().copyWindowInfo(24, 20);
  const auto& rows = *row->as<platform::Array>();
  ASSERT_EQ(rows.size(), 1u);
  const auto* bounds = rows[0].find("kCGWindowBounds");
  EXPECT_EQ(bounds->find("X")->as<platform::Number>()->doubleValue(), 150);
  EXPECT_EQ(bounds->find("Width")->as<platform::Number>()->doubleValue(), 320);

  desktop->apply(json::parse(R"({"setTitle": {"id": 20, "title": null}})"));
  EXPECT_EQ(desktop->attribute("20/", "AXTitle"), std::nullopt);

  desktop->apply(json::parse(
      R"({"insert": {"parent": "field", "index": 0, "element": {"ref": "added", "role": "AXImage"}}})"));
  EXPECT_EQ(desktop->attribute("field", "AXChildren"), json::array({"added", "inner"}));
  EXPECT_EQ(desktop->attribute("added", "AXParent"), json("field"));
  desktop->apply(json::parse(R"({"set": {"ref": "added", "attribute": "AXRole", "value": null}})"));
  EXPECT_EQ(desktop->attribute("added", "AXRole"), std::nullopt);
  desktop->apply(json::parse(R"({"set": {"ref": "20/0.0", "attribute": "AXHelp", "value": "h"}})"));
  EXPECT_EQ(desktop->attribute("added", "AXHelp"), json("h"));

  desktop->apply(
      json::parse(R"({"set": {"ref": "app:2", "attribute": "AXFocusedWindow", "value": 21}})"));
  EXPECT_EQ(desktop->attribute("app:2", "AXFocusedWindow"), json("21/"));
  desktop->apply(json::parse(
      R"({"set": {"ref": "app:2", "attribute": "AXFocusedUIElement", "value": "inner"}})"));
  EXPECT_EQ(desktop->attribute("app:2", "AXFocusedUIElement"), json("inner"));
  EXPECT_EQ(desktop->attribute("inner", "AXFocused"), json(true));
  desktop->apply(
      json::parse(R"({"set": {"ref": "app:2", "attribute": "AXFocusedWindow", "value": null}})"));
  EXPECT_EQ(desktop->attribute("app:2", "AXFocusedWindow"), std::nullopt);
  EXPECT_THROW(desktop->apply(json::parse(
                   R"({"set": {"ref": "app:2", "attribute": "AXFocusedWindow", "value": 10}})")),
               SceneError);

  EXPECT_THROW(desktop->apply(json::parse(R"({"raise": 99})")), SceneError);
  EXPECT_THROW(desktop->apply(json::parse(R"({"remove": "nothing"})")), SceneError);
  EXPECT_THROW(desktop->apply(json::parse(R"({"raise": "20"})")), SceneError);
}

TEST(SimScriptTest, OptionValuesSelectWindowsAsTheWindowServerDoes) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "windows": [
      {"id": 1, "pid": 5, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}},
      {"id": 2, "pid": 5, "onScreen": false, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}},
      {"id": 3, "pid": 5, "onScreen": null, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}},
      {"id": 4, "pid": 6, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}}
    ]})"));
  auto ids = [&](uint32_t option, uint32_t relative) {
    std::vector<int64_t> out;
    auto list = desktop->windowServer().copyWindowInfo(option, relative);
    for (const auto& row : *list->as<platform::Array>()) {
      out.push_back(*row.find("kCGWindowNumber")->as<platform::Number>()->integerValue());
    }
    return out;
  };
  EXPECT_EQ(ids(16, 0), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(ids(17, 0), (std::vector<int64_t>{1, 4}));
  EXPECT_EQ(ids(24, 2), (std::vector<int64_t>{2}));
  EXPECT_EQ(ids(24, 9), (std::vector<int64_t>{}));
  EXPECT_EQ(ids(24, 0), (std::vector<int64_t>{}));
  desktop->apply(json::parse(R"({"raise": 4})"));
  EXPECT_EQ(ids(16, 0), (std::vector<int64_t>{4, 1, 2, 3}));
  desktop->apply(json::parse(R"({"closeWindow": 1})"));
  EXPECT_EQ(ids(17, 0), (std::vector<int64_t>{4}));
}

TEST(SimScriptTest, AdvanceClockMovesUptimeAndWallTime) {
  auto desktop = SimDesktop::create(sceneWith("[]"));
  auto& process = desktop->process();
  double uptime = process.systemUptime();
  double date = process.currentDate();
  desktop->apply(json::parse(R"({"advanceClock": 30})"));
  EXPECT_DOUBLE_EQ(process.systemUptime(), uptime + 30);
  EXPECT_DOUBLE_EQ(process.currentDate(), date + 30);
}

}  // namespace
}  // namespace cuh::sim
