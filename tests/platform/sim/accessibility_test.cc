// Accessibility on the simulated desktop: sets and their failures, actions,
// focus rules, hit testing, stale handles and batched reads.
#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "platform/sim/sim_desktop.h"
#include "support/batched_read_check.h"

namespace cuh::sim {
namespace {

using nlohmann::json;
using platform::AXElement;
using platform::AXError;
using platform::Value;

class SimAccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop_ = SimDesktop::create(json::parse(R"({
      "apps": [{"pid": 10, "name": "Editor", "rejects": ["AXFocusedUIElement"]},
               {"pid": 20, "name": "Mute", "axEnabled": false}],
      "windows": [
        {"id": 1, "pid": 10, "title": "Front", "bounds": {"x": 0, "y": 0, "width": 100, "height": 100},
         "ax": {"children": [
           {"ref": "field", "role": "AXTextField", "value": "abc", "frame": {"x": 10, "y": 10, "width": 50, "height": 20},
            "settable": ["AXValue", "AXFocused", "AXSelectedTextRange", "AXTitle"], "rejects": ["AXTitle", "AXCancel"],
            "actions": ["AXConfirm", "AXCancel", "AXPress"], "failAfter": {"AXPress": 2}},
           {"ref": "stale", "role": "AXTextArea", "value": "old", "readback": "stale",
            "settable": ["AXValue", "AXSelectedTextRange", "AXHelp"]},
           {"ref": "group", "children": [
             {"ref": "under", "frame": {"x": 10, "y": 40, "width": 80, "height": 50}},
             {"ref": "over", "frame": {"x": 10, "y": 10, "width": 20, "height": 20},
              "children": [{"ref": "inner", "frame": {"x": 12, "y": 12, "width": 2, "height": 2}}]}
           ]}
         ]}},
        {"id": 2, "pid": 10, "title": "Back", "bounds": {"x": 50, "y": 50, "width": 100, "height": 100},
         "ax": {"children": [{"ref": "back-button", "frame": {"x": 110, "y": 110, "width": 10, "height": 10}}]}},
        {"id": 3, "pid": 20, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "ax": {}},
        {"id": 4, "pid": 30, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "ax": {}}
      ]})"));
  }

  platform::Accessibility& ax() { return desktop_->accessibility(); }

  // The handle of a named element, found the way the helper finds it.
  AXElement element(const std::string& target) {
    AXElement app = ax().createApplication(target == "3/" ? 20 : 10);
    auto windows = ax().copyAttributeValue(app, "AXWindows");
    EXPECT_TRUE(windows.ok());
    std::vector<AXElement> pending;
    for (const auto& w : *windows.value->as<platform::Array>()) {
      pending.push_back(*w.as<AXElement>());
    }
    while (!pending.empty()) {
      AXElement e = pending.back();
      pending.pop_back();
      if (desktop_->targetName(e) == target)
        return e;
      auto children = ax().copyAttributeValue(e, "AXChildren");
      if (!children.ok())
        continue;
      for (const auto& c : *children.value->as<platform::Array>()) {
        pending.push_back(*c.as<AXElement>());
      }
    }
    ADD_FAILURE() << "no element " << target;
    return {};
  }

  std::unique_ptr<SimDesktop> desktop_;
};

TEST_F(SimAccessibilityTest, SetsStoreValuesOrFailAsTheElementSays) {
  AXElement field = element("field");
  EXPECT_EQ(ax().setAttributeValue(field, "AXValue", Value::string("new")), AXError::success);
  EXPECT_EQ(desktop_->attribute("field", "AXValue"), json("new"));
  EXPECT_EQ(ax().setAttributeValue(field, "AXSelectedTextRange",
                                   Value(Value::Storage(platform::Range{1, 2}))),
            AXError::success);
  EXPECT_EQ(desktop_->attribute("field", "AXSelectedTextRange"), json::array({1, 2}));
  // Rejected and not settable: failures that change nothing.
  EXPECT_NE(ax().setAttributeValue(field, "AXTitle", Value::string("t")), AXError::success);
  EXPECT_NE(ax().setAttributeValue(field, "AXHelp", Value::string("h")), AXError::success);
  EXPECT_EQ(desktop_->attribute("field", "AXTitle"), std::nullopt);
  EXPECT_EQ(desktop_->attribute("field", "AXHelp"), std::nullopt);
  EXPECT_TRUE(*ax().isAttributeSettable(field, "AXTitle").value);
  EXPECT_FALSE(*ax().isAttributeSettable(field, "AXHelp").value);

  // Stale readback: success reported, nothing changes, other attributes do.
  AXElement stale = element("stale");
  EXPECT_EQ(ax().setAttributeValue(stale, "AXValue", Value::string("typed")), AXError::success);
  EXPECT_EQ(desktop_->attribute("stale", "AXValue"), json("old"));
  EXPECT_EQ(ax().setAttributeValue(stale, "AXHelp", Value::string("help")), AXError::success);
  EXPECT_EQ(desktop_->attribute("stale", "AXHelp"), json("help"));

  auto sets = desktop_->traceLines("set");
  ASSERT_EQ(sets.size(), 6u);
  EXPECT_EQ(
      sets[0],
      json::parse(
          R"({"kind":"set","target":"field","attribute":"AXValue","value":"new","ok":true})"));
  EXPECT_EQ(sets[1]["value"], json::array({1, 2}));
  EXPECT_EQ(sets[2]["ok"], false);
  EXPECT_EQ(sets[4]["ok"], true);
}

TEST_F(SimAccessibilityTest, ActionsFailWhenMissingRejectedOrUsedUp) {
  AXElement field = element("field");
  auto names = ax().copyActionNames(field);
  ASSERT_TRUE(names.ok());
  ASSERT_EQ(names.value->as<platform::Array>()->size(), 3u);
  EXPECT_EQ(*names.value->as<platform::Array>()->at(1).as<std::string>(), "AXCancel");
  EXPECT_EQ(ax().performAction(field, "AXConfirm"), AXError::success);
  EXPECT_NE(ax().performAction(field, "AXCancel"), AXError::success);
  EXPECT_NE(ax().performAction(field, "AXShowMenu"), AXError::success);
  EXPECT_EQ(ax().performAction(field, "AXPress"), AXError::success);
  EXPECT_EQ(ax().performAction(field, "AXPress"), AXError::success);
  EXPECT_NE(ax().performAction(field, "AXPress"), AXError::success);
  auto actions = desktop_->traceLines("action");
  ASSERT_EQ(actions.size(), 6u);
  EXPECT_EQ(actions[5],
            json::parse(R"({"kind":"action","target":"field","action":"AXPress","ok":false})"));
  // An element without actions answers an empty list.
  auto none = ax().copyActionNames(element("under"));
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none.value->as<platform::Array>()->empty());
}

TEST_F(SimAccessibilityTest, FocusRulesMoveFocusBetweenElementsAndWindows) {
  AXElement app = ax().createApplication(10);
  AXElement field = element("field");
  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedUIElement"), std::nullopt);
  EXPECT_EQ(ax().setAttributeValue(field, "AXFocused", Value::boolean(true)), AXError::success);
  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedUIElement"), json("field"));
  EXPECT_EQ(desktop_->attribute("field", "AXFocused"), json(true));

  // The app rejects sets of its focused UI element.
  EXPECT_NE(
      ax().setAttributeValue(app, "AXFocusedUIElement", Value(Value::Storage(element("under")))),
      AXError::success);
  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedUIElement"), json("field"));

  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedWindow"), json("1/"));
  EXPECT_TRUE(*ax().isAttributeSettable(app, "AXFocusedWindow").value);
  EXPECT_EQ(ax().setAttributeValue(app, "AXFocusedWindow", Value(Value::Storage(element("2/")))),
            AXError::success);
  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedWindow"), json("2/"));
  // Only a window of the app can be its focused window.
  EXPECT_NE(ax().setAttributeValue(app, "AXFocusedWindow", Value(Value::Storage(field))),
            AXError::success);

  // Focusing another element clears the previous one's flag.
  EXPECT_EQ(ax().setAttributeValue(element("stale"), "AXFocused", Value::boolean(true)),
            AXError::attributeUnsupported);
  desktop_->apply(
      json::parse(R"({"set": {"ref": "under", "attribute": "AXFocused", "value": true}})"));
  EXPECT_EQ(desktop_->attribute("app:10", "AXFocusedUIElement"), json("under"));
  EXPECT_EQ(desktop_->attribute("field", "AXFocused"), json(false));
}

TEST_F(SimAccessibilityTest, HitTestingFindsTheDeepestTopmostElement) {
  AXElement app = ax().createApplication(10);
  struct Case {
    float x, y;
    const char* expected;  // nullptr: the hit test fails
  };
  const Case cases[] = {
      {15, 15, "over"},         // later sibling lies on top of the field
      {12.5f, 12.5f, "inner"},  // the deepest element wins
      {50, 50, "under"},
      {40, 15, "field"},
      {10, 10, "over"},           // minimum edges are inside
      {30, 15, "field"},          // the maximum edge of "over" is outside
      {20, 35, "1/"},             // in the front window, on no element
      {115, 115, "back-button"},  // only the back window is here
      {99.5f, 140, "2/"},
      {200, 200, nullptr},  // in no window of the app
  };
  for (const auto& c : cases) {
    auto hit = ax().copyElementAtPosition(app, c.x, c.y);
    if (!c.expected) {
      EXPECT_FALSE(hit.ok()) << c.x << "," << c.y;
      continue;
    }
    ASSERT_TRUE(hit.ok()) << c.x << "," << c.y;
    EXPECT_EQ(desktop_->targetName(*hit.value), c.expected) << c.x << "," << c.y;
  }
}

TEST_F(SimAccessibilityTest, AppsThatDoNotAnswerAndNonApplicationsFail) {
  AXElement mute = ax().createApplication(20);
  EXPECT_FALSE(ax().copyAttributeValue(mute, "AXRole").ok());
  EXPECT_FALSE(ax().copyAttributeValue(mute, "AXWindows").ok());
  EXPECT_FALSE(ax().copyElementAtPosition(mute, 1, 1).ok());
  AXElement daemon = ax().createApplication(30);
  EXPECT_FALSE(ax().copyAttributeValue(daemon, "AXRole").ok());
  EXPECT_FALSE(ax().copyElementAtPosition(daemon, 1, 1).ok());
  // The windows are still listed by the window server.
  EXPECT_EQ(desktop_->windowServer().copyWindowInfo(16, 0)->as<platform::Array>()->size(), 4u);
}

TEST_F(SimAccessibilityTest, HandlesCompareByElementAndGoStaleSafely) {
  AXElement field = element("field");
  EXPECT_TRUE(field.isEqual(element("field")));
  EXPECT_TRUE(field.isEqual(desktop_->element("field")));
  EXPECT_TRUE(desktop_->element("1/0").isEqual(field));
  EXPECT_FALSE(desktop_->element("1/9"));
  EXPECT_FALSE(desktop_->element("app:x"));
  EXPECT_FALSE(field.isEqual(element("under")));
  EXPECT_TRUE(ax().createApplication(10).isEqual(ax().createApplication(10)));
  EXPECT_FALSE(ax().createApplication(10).isEqual(ax().createApplication(20)));
  auto parent = ax().copyAttributeValue(element("over"), "AXParent");
  ASSERT_TRUE(parent.ok());
  EXPECT_TRUE(parent.value->as<AXElement>()->isEqual(element("group")));

  AXElement over = element("over");
  AXElement child = element("inner");
  desktop_->apply(json::parse(R"({"remove": "over"})"));
  EXPECT_EQ(ax().copyAttributeValue(over, "AXRole").error, AXError::invalidUIElement);
  EXPECT_EQ(ax().copyAttributeValue(child, "AXFrame").error, AXError::invalidUIElement);
  EXPECT_EQ(ax().setAttributeValue(over, "AXValue", Value::string("x")), AXError::invalidUIElement);
  EXPECT_EQ(ax().performAction(over, "AXPress"), AXError::invalidUIElement);
  EXPECT_EQ(desktop_->targetName(over), "");
  EXPECT_FALSE(over.isEqual(element("under")));

  AXElement back = element("back-button");
  desktop_->apply(json::parse(R"({"closeWindow": 2})"));
  EXPECT_EQ(ax().copyAttributeValue(back, "AXRole").error, AXError::invalidUIElement);
  EXPECT_EQ(desktop_->attribute("app:10", "AXWindows"), json::array({"1/"}));
}

// Every attribute the helper reads, and some it does not, on elements that
// hold each kind of value, lack values, have the wrong kinds, are gone, or
// belong to an application that does not answer.
TEST(SimAccessibilityBatchTest, EverySlotAnswersAsTheSingleReadDoes) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "frontmost": 10,
    "apps": [{"pid": 10, "name": "Editor"}, {"pid": 11}, {"pid": 20, "name": "Mute", "axEnabled": false}],
    "windows": [
      {"id": 1, "pid": 10, "title": "Doc", "bounds": {"x": 0, "y": 0, "width": 300, "height": 200},
       "ax": {"ref": "window", "children": [
         {"ref": "field", "role": "AXTextField", "subrole": "AXSecureTextField", "title": "Name",
          "description": "", "help": "Your name", "placeholder": "Name", "identifier": "name",
          "value": "abc", "enabled": true, "focused": true, "busy": false, "selected": false,
          "hidden": false, "minimized": false, "frame": {"x": 10, "y": 10, "width": 50, "height": 20},
          "selectedTextRange": [1, 2], "settable": ["AXValue"], "actions": ["AXConfirm"]},
         {"ref": "odd", "value": {"attributed": "styled"},
          "attributes": {"AXRole": 7, "AXTitle": {"attributed": "T"}, "AXEnabled": "no",
                         "AXFocused": 1, "AXPosition": {"width": 1, "height": 2},
                         "AXSize": {"x": 1, "y": 2}, "AXDescription": null,
                         "AXHelp": [1, "two", {"x": 1, "y": 2}], "AXIdentifier": {"k": [true, 0.5]},
                         "AXSelectedTextRange": {"location": 1, "length": 0}},
          "children": []},
         {"ref": "slider", "role": "AXSlider", "value": 0.25, "attributes": {"AXBusy": 0}}
       ]}},
      {"id": 2, "pid": 20, "title": "Mute", "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "ax": {}},
      {"id": 3, "pid": 30, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "ax": {}}
    ]})"));
  auto& ax = desktop->accessibility();
  AXElement gone = desktop->element("slider");
  desktop->apply(json::parse(R"({"remove": "slider"})"));
  const std::array<std::string_view, 27> attributes = {"AXRole",
                                                       "AXSubrole",
                                                       "AXTitle",
                                                       "AXDescription",
                                                       "AXHelp",
                                                       "AXPlaceholderValue",
                                                       "AXIdentifier",
                                                       "AXValue",
                                                       "AXEnabled",
                                                       "AXFocused",
                                                       "AXBusy",
                                                       "AXSelected",
                                                       "AXHidden",
                                                       "AXMinimized",
                                                       "AXPosition",
                                                       "AXSize",
                                                       "AXSelectedTextRange",
                                                       "AXChildren",
                                                       "AXParent",
                                                       "AXWindows",
                                                       "AXFocusedWindow",
                                                       "AXFocusedUIElement",
                                                       "AXFrontmost",
                                                       "AXFrame",
                                                       "AXUnknown",
                                                       "AXValue",
                                                       "AXRole"};
  struct Case {
    const char* name;
    AXElement element;
  };
  const Case cases[] = {
      {"every kind of value", desktop->element("field")},
      {"wrong kinds, attributed text, lists, dictionaries", desktop->element("odd")},
      {"window element", desktop->element("window")},
      {"application element", ax.createApplication(10)},
      {"application without windows or name", ax.createApplication(11)},
      {"application that does not answer", ax.createApplication(20)},
      {"its window", desktop->element("2/")},
      {"a pid that is no application", ax.createApplication(30)},
      {"an element that is gone", gone},
      {"a handle of no element", AXElement()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(testing::batchDisagreement(ax, c.element, attributes), "");
  }
}

TEST(SimAccessibilityBatchTest, StopOnErrorEndsAtTheFirstFailedAttribute) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 1}],
    "windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 9, "height": 9},
                 "ax": {"children": [{"ref": "b", "role": "AXButton", "title": "OK"}]}}]})"));
  auto& ax = desktop->accessibility();
  AXElement button = desktop->element("b");
  const std::array<std::string_view, 3> present = {"AXRole", "AXTitle", "AXParent"};
  const std::array<std::string_view, 3> holed = {"AXRole", "AXHelp", "AXTitle"};
  for (auto options :
       {platform::CopyMultipleOptions::none, platform::CopyMultipleOptions::stopOnError}) {
    auto all = ax.copyMultipleAttributeValues(button, present, options);
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all.value->size(), 3u);
    EXPECT_EQ(*(*all.value)[1].value->as<std::string>(), "OK");
  }
  auto slots = ax.copyMultipleAttributeValues(button, holed, platform::CopyMultipleOptions::none);
  ASSERT_TRUE(slots.ok());
  EXPECT_EQ((*slots.value)[1].error, AXError::noValue);
  EXPECT_EQ(*(*slots.value)[2].value->as<std::string>(), "OK");
  auto stopped =
      ax.copyMultipleAttributeValues(button, holed, platform::CopyMultipleOptions::stopOnError);
  EXPECT_EQ(stopped.error, AXError::noValue);
  EXPECT_FALSE(stopped.value);
}

TEST(SimAccessibilityWindowTest, SettingAWindowsPositionOrSizeMovesTheWindow) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 1}],
    "windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 90, "height": 90},
                 "ax": {"settable": ["AXPosition", "AXSize"],
                        "children": [{"ref": "c", "frame": {"x": 5, "y": 5, "width": 1, "height": 1}}]}}]})"));
  auto& ax = desktop->accessibility();
  auto window =
      *ax.copyAttributeValue(ax.createApplication(1), "AXFocusedWindow").value->as<AXElement>();
  EXPECT_EQ(
      ax.setAttributeValue(window, "AXPosition", Value(Value::Storage(platform::Point{10, 20}))),
      AXError::success);
  EXPECT_EQ(ax.setAttributeValue(window, "AXSize", Value(Value::Storage(platform::Size{50, 60}))),
            AXError::success);
  auto rows = desktop->windowServer().copyWindowInfo(24, 1);
  const Value* bounds = rows->as<platform::Array>()->at(0).find("kCGWindowBounds");
  EXPECT_EQ(bounds->find("X")->as<platform::Number>()->doubleValue(), 10);
  EXPECT_EQ(bounds->find("Y")->as<platform::Number>()->doubleValue(), 20);
  EXPECT_EQ(bounds->find("Width")->as<platform::Number>()->doubleValue(), 50);
  EXPECT_EQ(desktop->attribute("c", "AXPosition"), json::array({15.0, 25.0}));
  EXPECT_EQ(desktop->attribute("1/", "AXSize"), json::array({50.0, 60.0}));
}

TEST(SimAccessibilityLatencyTest, EveryCallTakesTheSceneLatencyOnTheVirtualClock) {
  auto desktop = SimDesktop::create(json::parse(R"({"axLatencyUs": 2500,
    "apps": [{"pid": 1}], "windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 9, "height": 9}, "ax": {}}]})"));
  double start = desktop->clock().uptime();
  auto app = desktop->accessibility().createApplication(1);
  (void)desktop->accessibility().copyAttributeValue(app, "AXRole");
  (void)desktop->accessibility().copyAttributeValue(app, "AXNothing");
  (void)desktop->accessibility().isProcessTrusted();
  EXPECT_NEAR(desktop->clock().uptime() - start, 0.005, 1e-9);

  // A batched read is one call, however many attributes it carries; an
  // empty one is no call.
  const std::array<std::string_view, 4> four = {"AXRole", "AXTitle", "AXWindows", "AXNothing"};
  for (auto [attributes, seconds] : {std::pair{std::span<const std::string_view>(four), 0.0025},
                                     std::pair{std::span<const std::string_view>(), 0.0}}) {
    start = desktop->clock().uptime();
    (void)desktop->accessibility().copyMultipleAttributeValues(app, attributes,
                                                               platform::CopyMultipleOptions::none);
    EXPECT_NEAR(desktop->clock().uptime() - start, seconds, 1e-9);
  }
}

}  // namespace
}  // namespace cuh::sim
