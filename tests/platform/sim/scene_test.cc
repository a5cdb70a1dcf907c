// Scene loading: defaults, absent versus null, and the error paths of
// invalid scenes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/sim/sim_desktop.h"

namespace cuh::sim {
namespace {

using nlohmann::json;
using platform::Value;

const Value* entry(const Value& row, const char* key) {
  return row.find(key);
}

TEST(SimSceneTest, WindowRowDefaultsAndNullsFollowTheScene) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 10, "name": "Editor"}],
    "windows": [
      {"id": 1, "pid": 10, "bounds": {"x": 1, "y": 2, "width": 30, "height": 40}},
      {"id": 2, "pid": 10, "owner": null, "title": null, "layer": null, "alpha": null,
       "onScreen": null, "bounds": {"x": 0, "y": 0, "width": 5, "height": 5}},
      {"id": 3, "pid": 77, "title": "", "owner": "Daemon", "layer": 3, "alpha": 0.5,
       "onScreen": false, "bounds": {"x": 0, "y": 0, "width": 5, "height": 5},
       "row": {"kCGWindowLayer": null, "kCGWindowBounds": {"X": 0, "Y": 0, "Width": 5, "Height": "5"},
               "Extra": 1}}
    ]})"));
  auto list = desktop->windowServer().copyWindowInfo(16, 0);
  ASSERT_TRUE(list);
  const auto& rows = *list->as<platform::Array>();
  ASSERT_EQ(rows.size(), 3u);

  const Value& first = rows[0];
  EXPECT_EQ(*entry(first, "kCGWindowNumber")->as<platform::Number>()->integerValue(), 1);
  EXPECT_EQ(*entry(first, "kCGWindowOwnerPID")->as<platform::Number>()->integerValue(), 10);
  EXPECT_EQ(*entry(first, "kCGWindowOwnerName")->as<std::string>(), "Editor");
  EXPECT_EQ(entry(first, "kCGWindowName"), nullptr);
  EXPECT_EQ(entry(first, "kCGWindowLayer")->as<platform::Number>()->doubleValue(), 0);
  EXPECT_EQ(entry(first, "kCGWindowAlpha")->as<platform::Number>()->doubleValue(), 1);
  EXPECT_TRUE(entry(first, "kCGWindowIsOnscreen")->as<platform::Boolean>()->value);
  const Value* bounds = entry(first, "kCGWindowBounds");
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->find("X")->as<platform::Number>()->doubleValue(), 1);
  EXPECT_EQ(bounds->find("Height")->as<platform::Number>()->doubleValue(), 40);

  const Value& second = rows[1];
  for (const char* key : {"kCGWindowOwnerName", "kCGWindowName", "kCGWindowLayer", "kCGWindowAlpha",
                          "kCGWindowIsOnscreen"}) {
    EXPECT_EQ(entry(second, key), nullptr) << key;
  }

  const Value& third = rows[2];
  EXPECT_EQ(*entry(third, "kCGWindowName")->as<std::string>(), "");
  EXPECT_EQ(*entry(third, "kCGWindowOwnerName")->as<std::string>(), "Daemon");
  EXPECT_EQ(entry(third, "kCGWindowLayer"), nullptr);
  EXPECT_EQ(*entry(third, "kCGWindowBounds")->find("Height")->as<std::string>(), "5");
  EXPECT_TRUE(entry(third, "Extra"));
}

TEST(SimSceneTest, ElementDefaultsDistinguishAbsentNullAndEmpty) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 10, "name": "Editor"}],
    "windows": [
      {"id": 1, "pid": 10, "title": "Doc", "bounds": {"x": 0, "y": 0, "width": 100, "height": 100},
       "ax": {"children": [
         {"ref": "a", "title": "", "value": 3},
         {"ref": "b", "title": null, "role": "AXButton", "value": {"attributed": "rich"},
          "attributes": {"AXRole": "ignored", "AXSize": "big", "AXCustom": true}}
       ]}},
      {"id": 2, "pid": 10, "title": "Other", "bounds": {"x": 0, "y": 0, "width": 10, "height": 10},
       "ax": {"role": null, "title": "Own", "frame": null}}
    ]})"));
  EXPECT_EQ(desktop->attribute("1/", "AXRole"), json("AXWindow"));
  EXPECT_EQ(desktop->attribute("1/", "AXTitle"), json("Doc"));
  EXPECT_EQ(desktop->attribute("1/", "AXPosition"), json::array({0.0, 0.0}));
  EXPECT_EQ(desktop->attribute("1/", "AXSize"), json::array({100.0, 100.0}));
  EXPECT_EQ(desktop->attribute("1/", "AXParent"), json("app:10"));
  EXPECT_EQ(desktop->attribute("1/", "AXChildren"), json::array({"a", "b"}));
  EXPECT_EQ(desktop->attribute("a", "AXTitle"), json(""));
  EXPECT_EQ(desktop->attribute("a", "AXValue"), json(3));
  EXPECT_EQ(desktop->attribute("a", "AXRole"), std::nullopt);
  EXPECT_EQ(desktop->attribute("a", "AXChildren"), std::nullopt);
  EXPECT_EQ(desktop->attribute("a", "AXParent"), json("1/"));
  EXPECT_EQ(desktop->attribute("b", "AXTitle"), std::nullopt);
  EXPECT_EQ(desktop->attribute("b", "AXRole"), json("AXButton"));
  EXPECT_EQ(desktop->attribute("b", "AXSize"), json("big"));
  EXPECT_EQ(desktop->attribute("b", "AXCustom"), json(true));
  EXPECT_EQ(desktop->attribute("2/", "AXRole"), std::nullopt);
  EXPECT_EQ(desktop->attribute("2/", "AXTitle"), json("Own"));
  EXPECT_EQ(desktop->attribute("2/", "AXPosition"), std::nullopt);
  EXPECT_EQ(desktop->attribute("app:10", "AXRole"), json("AXApplication"));
  EXPECT_EQ(desktop->attribute("app:10", "AXTitle"), json("Editor"));
  EXPECT_EQ(desktop->attribute("app:10", "AXWindows"), json::array({"1/", "2/"}));
  EXPECT_EQ(desktop->attribute("app:10", "AXParent"), std::nullopt);

  // The attributed value keeps its kind.
  auto& ax = desktop->accessibility();
  auto app = ax.createApplication(10);
  auto windows = ax.copyAttributeValue(app, "AXWindows");
  ASSERT_TRUE(windows.ok());
  auto window = *windows.value->as<platform::Array>()->at(0).as<platform::AXElement>();
  auto children = ax.copyAttributeValue(window, "AXChildren");
  auto b = *children.value->as<platform::Array>()->at(1).as<platform::AXElement>();
  auto value = ax.copyAttributeValue(b, "AXValue");
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(value.value->as<platform::AttributedString>()->text, "rich");
}

TEST(SimSceneTest, AppDefaultsFocusAndPolicy) {
  auto desktop = SimDesktop::create(json::parse(R"({
    "frontmost": 10,
    "apps": [
      {"pid": 10, "name": "", "policy": "accessory", "finishedLaunching": false},
      {"pid": 11, "name": "Two", "bundleId": "b.two", "path": "/Apps/Two.app", "focusedWindow": null,
       "focusedElement": null},
      {"pid": 12, "name": "Three", "focusedWindow": 5}
    ],
    "windows": [
      {"id": 3, "pid": 10, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}},
      {"id": 4, "pid": 10, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10},
       "ax": {"children": [{"ref": "x", "focused": false}, {"ref": "y", "focused": true}]}},
      {"id": 7, "pid": 11, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10},
       "ax": {"children": [{"ref": "z", "focused": true}]}},
      {"id": 6, "pid": 12, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10},
       "ax": {"children": [{"ref": "p", "focused": true}]}},
      {"id": 5, "pid": 12, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10},
       "ax": {"children": [{"ref": "q", "focused": true}]}}
    ]})"));
  EXPECT_EQ(desktop->attribute("app:10", "AXFocusedWindow"), json("4/"));
  EXPECT_EQ(desktop->attribute("app:10", "AXFocusedUIElement"), json("y"));
  EXPECT_EQ(desktop->attribute("app:10", "AXTitle"), std::nullopt);
  EXPECT_EQ(desktop->attribute("app:11", "AXFocusedWindow"), std::nullopt);
  EXPECT_EQ(desktop->attribute("app:11", "AXFocusedUIElement"), std::nullopt);
  // The focused window's elements come first.
  EXPECT_EQ(desktop->attribute("app:12", "AXFocusedUIElement"), json("q"));

  auto& ws = desktop->workspace();
  auto apps = ws.runningApplications();
  ASSERT_EQ(apps.size(), 3u);
  EXPECT_EQ(apps[0]->localizedName(), std::nullopt);
  EXPECT_EQ(apps[0]->activationPolicy(), platform::ActivationPolicy::accessory);
  EXPECT_FALSE(apps[0]->isFinishedLaunching());
  EXPECT_TRUE(apps[0]->isActive());
  EXPECT_FALSE(apps[1]->isActive());
  EXPECT_TRUE(ws.frontmostApplication()->isEqual(*apps[0]));
  EXPECT_EQ(ws.urlForApplicationWithBundleIdentifier("b.two"), "/Apps/Two.app");
  EXPECT_EQ(ws.fullPathForApplication("Two"), "/Apps/Two.app");
  EXPECT_EQ(ws.fullPathForApplication("Two.app"), "/Apps/Two.app");
  EXPECT_EQ(ws.fullPathForApplication("Nope"), std::nullopt);
  EXPECT_EQ(ws.runningApplicationWithProcessIdentifier(99), nullptr);
}

TEST(SimSceneTest, EmptySceneHasNoFrontmostAndIsTrusted) {
  auto desktop = SimDesktop::create(json::object());
  EXPECT_TRUE(desktop->accessibility().isProcessTrusted());
  EXPECT_EQ(desktop->workspace().frontmostApplication(), nullptr);
  EXPECT_EQ(desktop->windowServer().copyWindowInfo(16, 0)->as<platform::Array>()->size(), 0u);
  auto untrusted = SimDesktop::create(json::parse(R"({"trusted": false})"));
  EXPECT_FALSE(untrusted->accessibility().isProcessTrustedWithOptions(true));
  EXPECT_EQ(untrusted->traceLines("trust").back(),
            json::parse(R"({"kind":"trust","prompt":true})"));
}

struct InvalidScene {
  const char* scene;
  const char* path;
};

class SimInvalidSceneTest : public ::testing::TestWithParam<InvalidScene> {};

TEST_P(SimInvalidSceneTest, NamesTheBadEntry) {
  const auto& param = GetParam();
  try {
    SimDesktop::create(json::parse(param.scene));
    FAIL() << "accepted: " << param.scene;
  } catch (const SceneError& e) {
    std::string message = e.what();
    EXPECT_EQ(message.rfind(std::string(param.path) + ": ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    SimInvalidSceneTest,
    ::testing::Values(
        InvalidScene{"[]", "$"},
        InvalidScene{R"({"trusted": 1})", "$.trusted"},
        InvalidScene{R"({"unknown": 1})", "$.unknown"},
        InvalidScene{R"({"frontmost": 5})", "$.frontmost"},
        InvalidScene{R"({"apps": [{"name": "x"}]})", "$.apps[0].pid"},
        InvalidScene{R"({"apps": [{"pid": 1}, {"pid": 1}]})", "$.apps[1].pid"},
        InvalidScene{R"({"apps": [{"pid": 1, "policy": "background"}]})", "$.apps[0].policy"},
        InvalidScene{R"({"apps": [{"pid": 1, "icon": {"color": "red"}}]})", "$.apps[0].icon.color"},
        InvalidScene{R"({"apps": [{"pid": 1, "focusedWindow": 9}]})", "$.apps[0].focusedWindow"},
        InvalidScene{R"({"apps": [{"pid": 1, "focusedElement": "nope"}]})",
                     "$.apps[0].focusedElement"},
        InvalidScene{R"({"apps": [{"pid": 4294967296}]})", "$.apps[0].pid"},
        InvalidScene{
            R"({"windows": [{"pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1}}]})",
            "$.windows[0].id"},
        InvalidScene{R"({"windows": [{"id": 1, "pid": 1}]})", "$.windows[0].bounds"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": "1", "height": 1}}]})",
            "$.windows[0].bounds.width"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": -1, "height": 1}}]})",
            "$.windows[0].bounds.width"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1}},
                                     {"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1}}]})",
            "$.windows[1].id"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"children": [{"value": [1]}]}}]})",
            "$.windows[0].ax.children[0].value"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"children": [{"ref": "a"}, {"ref": "a"}]}}]})",
            "$.windows[0].ax"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"selectedTextRange": [1]}}]})",
            "$.windows[0].ax.selectedTextRange"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"failAfter": {"AXPress": -1}}}]})",
            "$.windows[0].ax.failAfter.AXPress"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"readback": "old"}}]})",
            "$.windows[0].ax.readback"},
        InvalidScene{
            R"({"windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 1, "height": 1},
                                     "ax": {"focussed": true}}]})",
            "$.windows[0].ax.focussed"},
        InvalidScene{R"({"launchable": [{"name": "x"}]})", "$.launchable[0].pid"},
        InvalidScene{R"({"launchable": [{"pid": 3, "delayMs": "soon"}]})",
                     "$.launchable[0].delayMs"},
        InvalidScene{R"({"launchable": [{"pid": 3, "windows": [{"id": 4, "pid": 5,
                        "bounds": {"x": 0, "y": 0, "width": 1, "height": 1}}]}]})",
                     "$.launchable[0].windows[0].pid"},
        InvalidScene{R"({"script": [{"when": {"afterResponses": 0}, "do": []}]})",
                     "$.script[0].when.afterResponses"},
        InvalidScene{R"({"script": [{"when": {"afterResponses": 1, "afterPosts": 1}, "do": []}]})",
                     "$.script[0].when"},
        InvalidScene{R"({"script": [{"when": {"afterPosts": {"pid": 1}}, "do": []}]})",
                     "$.script[0].when.afterPosts.count"},
        InvalidScene{R"({"script": [{"when": {"afterResponses": 1}, "do": [{"explode": 1}]}]})",
                     "$.script[0].do[0].explode"},
        InvalidScene{
            R"({"script": [{"when": {"afterResponses": 1}, "do": [{"userInput": {"pid": 1, "type": 2}}]}]})",
            "$.script[0].do[0].userInput.type"},
        InvalidScene{
            R"({"script": [{"when": {"afterResponses": 1}, "do": [{"remove": "ghost"}]}]})",
            "$.script[0].do[0].remove"},
        InvalidScene{
            R"({"script": [{"when": {"afterSet": {"ref": "ghost", "attribute": "AXValue"}}, "do": []}]})",
            "$.script[0].when.afterSet.ref"},
        InvalidScene{
            R"({"script": [{"when": {"afterResponses": 1}, "do": [{"disableTap": {"pid": 1, "reason": "bored"}}]}]})",
            "$.script[0].do[0].disableTap.reason"}));

TEST(SimSceneTest, AbsurdlyDeepScenesAreRefusedNotOverflowed) {
  std::string nested;
  for (int i = 0; i < 2000; ++i)
    nested += R"({"children": [)";
  nested += "{}";
  for (int i = 0; i < 2000; ++i)
    nested += "]}";
  json element = json::parse(nested);
  json scene = {
      {"windows", json::array({json{{"id", 1},
                                    {"pid", 1},
                                    {"bounds", {{"x", 0}, {"y", 0}, {"width", 1}, {"height", 1}}},
                                    {"ax", element}}})}};
  EXPECT_THROW(SimDesktop::create(scene), SceneError);
  json value = json::parse(std::string(2000, '[') + "1" + std::string(2000, ']'));
  scene["windows"][0]["ax"] = {{"attributes", {{"AXDeep", value}}}};
  EXPECT_THROW(SimDesktop::create(scene), SceneError);
}

TEST(SimSceneFileTest, LoadNamesTheFileAndThePath) {
  std::string path = ::testing::TempDir() + "/sim_scene_test_bad.json";
  {
    std::ofstream out(path);
    out << R"({"apps": [{"pid": "seven"}]})";
  }
  try {
    SimDesktop::load(path);
    FAIL();
  } catch (const SceneError& e) {
    EXPECT_EQ(std::string(e.what()),
              "computer-use-helper: scene " + path + ": $.apps[0].pid: must be an integer");
  }
  {
    std::ofstream out(path);
    out << "{\"apps\": [";
  }
  EXPECT_THROW(SimDesktop::load(path), SceneError);
  EXPECT_THROW(SimDesktop::load(path + ".missing"), SceneError);

  std::string error;
  platform::PlatformOptions options;
  options.scenePath = path + ".missing";
  EXPECT_EQ(createSimulatedPlatform(options, &error), nullptr);
  EXPECT_NE(error.find(path + ".missing"), std::string::npos);
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(SimSceneFileTest, TheDemoSceneLoads) {
  auto desktop = SimDesktop::create(json::parse(SimDesktop::demoSceneText()));
  EXPECT_EQ(desktop->frontmostPid(), 501);
  // Notes waits in the background with its body focused; a point on a note
  // in the list leads up to a scroll area that pages.
  EXPECT_EQ(desktop->attribute("app:502", "AXFocusedWindow"), json("notes.window"));
  EXPECT_EQ(desktop->attribute("app:502", "AXFocusedUIElement"), json("notes.body"));
  auto& ax = desktop->accessibility();
  auto hit = ax.copyElementAtPosition(ax.createApplication(502), 400, 190);
  ASSERT_TRUE(hit.ok());
  auto parent = ax.copyAttributeValue(*hit.value, "AXParent");
  ASSERT_TRUE(parent.ok());
  EXPECT_EQ(desktop->targetName(*parent.value->as<platform::AXElement>()), "notes.list");
  EXPECT_EQ(ax.performAction(*parent.value->as<platform::AXElement>(), "AXScrollDownByPage"),
            platform::AXError::success);
  EXPECT_EQ(desktop->workspace().urlForApplicationWithBundleIdentifier("com.apple.calculator"),
            "/System/Applications/Calculator.app");
  std::string error;
  EXPECT_NE(createSimulatedPlatform({}, &error), nullptr) << error;
}

}  // namespace
}  // namespace cuh::sim
