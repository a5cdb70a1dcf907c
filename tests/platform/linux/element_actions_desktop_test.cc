// Element actions on the test desktop: the helper changes the fixture's
// widgets over the accessibility bus while mousepad is the user's active
// window. The fixture logs what each widget received; every test also
// checks that the user's window stayed active, the stacking order is
// unchanged, the pointer stayed where the test put it, and the helper
// printed nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/helper_process.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/support/foreground_check.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using nlohmann::json;
using testing::ChildProcess;
using testing::FixtureApp;

json request(int id, const std::string& method, json params = json::object()) {
  return json{{"id", id}, {"method", method}, {"params", std::move(params)}};
}

// The helper on the test desktop with a trace file; it must end with status
// 0 and print nothing.
class TracedHelper : public e2e::HelperProcess {
 public:
  explicit TracedHelper(const std::string& tracePath)
      : e2e::HelperProcess(std::vector<std::string>{"--trace", tracePath}) {}
  ~TracedHelper() {
    EXPECT_EQ(finish(), std::optional<int>(0));
    EXPECT_EQ(stderrText(), "");
  }
  json respond(const json& line) {
    auto response = request(line, 15);
    EXPECT_TRUE(response) << line.dump();
    return response ? *response : json();
  }
};

class ElementActionsDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<FixtureApp>();
    std::string error;
    x_ = XConnection::open(nullptr, &error);
    ASSERT_TRUE(x_) << error;
    reader_ = std::make_unique<XWindowReader>(*x_);
    ASSERT_TRUE(
        testing::waitUntil([&] { return reader_->activeWindow() == app_->window("main"); }));
    // The user's window: mousepad, which the window manager activates as
    // it maps it.
    mousepad_ = std::make_unique<ChildProcess>(std::vector<std::string>{"mousepad"});
    ASSERT_TRUE(testing::waitUntil(
        [&] {
          auto active = reader_->activeWindow();
          if (!active || *active == app_->window("main"))
            return false;
          for (const XWindowFacts& window : reader_->windowList()) {
            if (window.id == *active && window.pid && *window.pid != app_->pid())
              userWindow_ = window.id;
          }
          return userWindow_ != 0;
        },
        std::chrono::seconds(15)));
    // The pointer somewhere of the test's choosing, over neither window's
    // widgets it acts on.
    XWarpPointer(x_->display(), None, x_->root(), 0, 0, 0, 0, 7, 9);
    XSync(x_->display(), False);
    pointer_ = pointer();
    ASSERT_TRUE(pointer_);
    before_ = readForeground(*x_);
    tracePath_ = std::string(getenv("CUH_DESKTOP_DIR") ? getenv("CUH_DESKTOP_DIR") : "/tmp") +
                 "/element-actions-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".trace";
    std::remove(tracePath_.c_str());
    helper_ = std::make_unique<TracedHelper>(tracePath_);
    window_ = observedWindow();
    ASSERT_FALSE(window_.is_null());
    elements_ = helper_->respond(request(1, "accessibility_tree", window_))["result"]["elements"];
    ASSERT_TRUE(elements_.is_array());
    // What the fixture logged before the test acted is not counted.
    logMark_ = app_->log().size();
  }

  void TearDown() override {
    EXPECT_EQ(reader_->activeWindow(), std::optional<::Window>(userWindow_));
    testing::expectForegroundKept(before_, readForeground(*x_));
    EXPECT_EQ(pointer(), pointer_);
    helper_.reset();
    // Nothing of mousepad lingers for the next test (it is single-instance).
    mousepad_.reset();
  }

  std::optional<RootPoint> pointer() { return reader_->pointer(); }

  json observedWindow() {
    json rows = helper_->respond(request(1, "list_windows"))["result"]["windows"];
    for (const json& row : rows) {
      if (row["windowId"] == app_->window("main")) {
        return json{{"pid", row["pid"]},
                    {"windowId", row["windowId"]},
                    {"width", row["width"]},
                    {"height", row["height"]}};
      }
    }
    return json();
  }

  json row(const std::string& role, const std::string& title) {
    for (const json& element : elements_) {
      if (element["role"] == role && element["title"] == title)
        return element;
    }
    ADD_FAILURE() << "no " << role << " \"" << title << "\" in " << elements_.dump();
    return json();
  }

  json act(json params) {
    json full = window_;
    full.update(params);
    return helper_->respond(request(++id_, "element_action", full));
  }

  std::vector<json> trace(const std::string& kind) {
    std::vector<json> lines;
    std::ifstream in(tracePath_);
    for (std::string line; std::getline(in, line);) {
      json entry = json::parse(line, nullptr, false);
      if (entry.is_object() && entry["kind"] == kind)
        lines.push_back(entry);
    }
    return lines;
  }

  // Log lines of one event since the test began acting.
  size_t count(const json& fields) { return app_->linesSince(logMark_, fields).size(); }

  static const json verified;

  std::unique_ptr<FixtureApp> app_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<XWindowReader> reader_;
  std::unique_ptr<ChildProcess> mousepad_;
  ::Window userWindow_ = 0;
  std::optional<RootPoint> pointer_;
  ForegroundState before_;
  std::string tracePath_;
  std::unique_ptr<TracedHelper> helper_;
  json window_;
  json elements_;
  int id_ = 10;
  size_t logMark_ = 0;
};

const json ElementActionsDesktopTest::verified = {{"ok", true},
                                                  {"result", {{"delivery", "verified"}}}};

std::string lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

json withoutId(json response) {
  response.erase("id");
  return response;
}

TEST_F(ElementActionsDesktopTest, PressesAButtonOnceThroughItsAction) {
  json press = row("AXButton", "Press Me");
  EXPECT_EQ(withoutId(act({{"operation", "activate_button"}, {"element", press}})), verified);
  ASSERT_TRUE(app_->waitFor({{"event", "clicked"}, {"widget", "Press Me"}}));
  // Once: a second click would have been logged by now (the fixture logs
  // in the handler, before the helper's settle ended).
  EXPECT_TRUE(helper_->respond(request(2, "ping"))["ok"]);
  EXPECT_EQ(count({{"event", "clicked"}, {"widget", "Press Me"}}), 1u);
  auto actions = trace("action");
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0]["action"], "AXPress");
  // The toolkit's own name for it (GTK 3: "click", in any case).
  EXPECT_EQ(lower(actions[0]["busAction"].get<std::string>()), "click");
  EXPECT_EQ(actions[0]["ok"], true);
  // The named action too, and the focus the window does not have.
  EXPECT_EQ(withoutId(act({{"operation", "action"}, {"action", "AXPress"}, {"element", press}})),
            verified);
  ASSERT_TRUE(app_->waitFor({{"event", "clicked"}, {"widget", "Press Me"}, {"count", 2}}));
  EXPECT_EQ(
      act({{"operation", "focus_editable"}, {"element", row("AXTextField", "Name")}})["error"],
      "The indexed element can only be focused by activating its window, which cannot be "
      "done in the background on this desktop; no accessibility action was sent");
  EXPECT_EQ(count({{"event", "focus-in"}}), 0u);
}

TEST_F(ElementActionsDesktopTest, InsertsAndSelectsTextCountingUtf16Units) {
  json name = row("AXTextField", "Name");
  const double x = name["x"].get<double>() + 5;
  const double y = name["y"].get<double>() + name["height"].get<double>() / 2;
  // "ë" is one unit, the emoji two: "ok" starts at unit 7, character 6.
  const std::string text = "Zo\xC3\xAB \xF0\x9F\x98\x80 ok";
  json inserted = act({{"operation", "insert_text"}, {"x", x}, {"y", y}, {"text", text}});
  EXPECT_EQ(inserted["result"], (json{{"delivery", "verified"}, {"value", text}})) << inserted;
  ASSERT_TRUE(app_->waitFor({{"event", "changed"}, {"widget", "Name"}, {"text", text}}));

  // The element now holds the text: observed again, as a caller would.
  elements_ = helper_->respond(request(3, "accessibility_tree", window_))["result"]["elements"];
  name = row("AXTextField", "Name");
  EXPECT_EQ(
      withoutId(
          act({{"operation", "select_text"}, {"element", name}, {"text", "ok"}, {"mode", "text"}})),
      verified);
  EXPECT_TRUE(
      app_->waitFor({{"event", "selection"}, {"widget", "Name"}, {"start", 6}, {"end", 8}}));
  EXPECT_EQ(withoutId(act({{"operation", "select_text"},
                           {"element", name},
                           {"text", "\xF0\x9F\x98\x80"},
                           {"mode", "cursor_after"}})),
            verified);
  EXPECT_TRUE(
      app_->waitFor({{"event", "selection"}, {"widget", "Name"}, {"start", 5}, {"end", 5}}));

  // Typing over a selection replaces it, as the keyboard would.
  EXPECT_EQ(withoutId(act({{"operation", "select_text"},
                           {"element", name},
                           {"text", "Zo\xC3\xAB"},
                           {"mode", "text"}})),
            verified);
  json replaced = act({{"operation", "insert_text"}, {"x", x}, {"y", y}, {"text", "Al"}});
  const std::string expected = "Al \xF0\x9F\x98\x80 ok";
  EXPECT_EQ(replaced["result"]["value"], expected) << replaced;
  EXPECT_TRUE(app_->waitFor({{"event", "changed"}, {"widget", "Name"}, {"text", expected}}));
  EXPECT_TRUE(
      app_->waitFor({{"event", "selection"}, {"widget", "Name"}, {"start", 2}, {"end", 2}}));
  auto sets = trace("set");
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(sets.front()["attribute"], "AXValue");
  EXPECT_EQ(sets.front()["value"], text);
}

TEST_F(ElementActionsDesktopTest, SetsAndStepsASliderThroughItsValue) {
  json volume = row("AXSlider", "Volume");
  EXPECT_EQ(withoutId(act({{"operation", "set_value"}, {"value", "70"}, {"element", volume}})),
            verified);
  ASSERT_TRUE(app_->waitFor({{"event", "value-changed"}, {"widget", "Volume"}, {"value", 70.0}}));
  // The observed value changed: observed again.
  elements_ = helper_->respond(request(3, "accessibility_tree", window_))["result"]["elements"];
  volume = row("AXSlider", "Volume");
  EXPECT_EQ(volume["value"], "70");
  EXPECT_EQ(
      withoutId(act({{"operation", "action"}, {"action", "AXIncrement"}, {"element", volume}})),
      verified);
  ASSERT_TRUE(app_->waitFor({{"event", "value-changed"}, {"widget", "Volume"}, {"value", 71.0}}));
  // Text that is no number is rejected before anything changes.
  elements_ = helper_->respond(request(4, "accessibility_tree", window_))["result"]["elements"];
  EXPECT_EQ(act({{"operation", "set_value"},
                 {"value", "loud"},
                 {"element", row("AXSlider", "Volume")}})["error"],
            "The indexed element rejected its new value");
  EXPECT_EQ(count({{"event", "value-changed"}, {"widget", "Volume"}}), 2u);
}

TEST_F(ElementActionsDesktopTest, ChoosesAComboBoxItemBySelectionAndNeverOpensItsMenu) {
  json colour = row("AXPopUpButton", "Colour");
  EXPECT_EQ(act({{"operation", "activate_button"}, {"element", colour}})["error"],
            "The indexed element would open a menu, which cannot be done in the background on "
            "this desktop; select or press one of its items instead; no accessibility action was "
            "sent");
  EXPECT_TRUE(trace("action").empty());

  EXPECT_EQ(
      withoutId(act({{"operation", "activate_button"}, {"element", row("AXMenuItem", "Green")}})),
      verified);
  EXPECT_TRUE(app_->waitFor({{"event", "changed"}, {"widget", "Colour"}, {"text", "Green"}}));
  EXPECT_EQ(count({{"event", "popup-shown"}}), 0u);
  auto sets = trace("set");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0]["attribute"], "AXSelected");
}

TEST_F(ElementActionsDesktopTest, PressesALeafMenuItemButNeverOpensTheMenuBarsMenu) {
  EXPECT_EQ(act({{"operation", "activate_button"},
                 {"element", row("AXMenuBarItem", "Actions")}})["error"],
            "The indexed element would open a menu, which cannot be done in the background on "
            "this desktop; select or press one of its items instead; no accessibility action was "
            "sent");
  EXPECT_EQ(
      withoutId(act({{"operation", "activate_button"}, {"element", row("AXMenuItem", "Save")}})),
      verified);
  EXPECT_TRUE(app_->waitFor({{"event", "menu-activated"}, {"item", "Save"}}));
  EXPECT_TRUE(helper_->respond(request(2, "ping"))["ok"]);
  EXPECT_EQ(count({{"event", "menu-activated"}}), 1u);
  EXPECT_EQ(count({{"event", "popup-shown"}}), 0u);
  // No popup window of the fixture is left on screen.
  for (const XWindowFacts& window : reader_->windowList())
    EXPECT_FALSE(window.pid == app_->pid() && window.overrideRedirect && window.viewable)
        << window.id;
}

// A press that opens a popup nothing announced: the protection closes it,
// and the answer says the press may have done more than asked.
TEST_F(ElementActionsDesktopTest, APopupThatAPressOpensIsClosedAndTheAnswerSaysSo) {
  EXPECT_EQ(withoutId(act(
                {{"operation", "activate_button"}, {"element", row("AXButton", "Open Dropdown")}})),
            (json{{"ok", false},
                  {"error",
                   "The target app opened a popup menu, which was closed again; the accessibility "
                   "action may have taken effect and cannot be safely retried"}}));
  EXPECT_TRUE(app_->waitFor({{"event", "popup-hidden"}, {"popup", "dropdown"}}));
  EXPECT_EQ(count({{"event", "clicked"}, {"widget", "Open Dropdown"}}), 1u);
  EXPECT_EQ(trace("popupDismissed").size(), 1u);
  for (::Window popup : reader_->overrideRedirectPopups()) {
    auto facts = reader_->read(popup);
    EXPECT_FALSE(facts && facts->pid == app_->pid()) << "popup " << popup << " still mapped";
  }
}

TEST_F(ElementActionsDesktopTest, PagesAScrollPaneThroughItsScrollBar) {
  json notes = row("AXTextArea", "Notes");
  EXPECT_EQ(
      withoutId(act({{"operation", "page_scroll"}, {"direction", "down"}, {"element", notes}})),
      verified);
  auto first = app_->waitFor({{"event", "value-changed"}, {"widget", "Notes Scroll"}});
  ASSERT_TRUE(first);
  EXPECT_GT((*first)["value"].get<double>(), 50.0);
  EXPECT_EQ(
      withoutId(act(
          {{"operation", "page_scroll"}, {"direction", "up"}, {"pages", 3}, {"element", notes}})),
      verified);
  EXPECT_TRUE(
      app_->waitFor({{"event", "value-changed"}, {"widget", "Notes Scroll"}, {"value", 0.0}}));
}

}  // namespace
}  // namespace cuh::linux_desktop
