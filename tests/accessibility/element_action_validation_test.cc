// "element_action" validation: every refusal in check order, the guard
// armed only after the window checks and verified before and after the
// change, the application identity check at completion, and the target
// application in front (no guard).
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "accessibility/element_action.h"
#include "accessibility/element_action_scene.h"
#include "support/forwarding_platform.h"

namespace cuh::testing {
namespace {

const char* const kMayHaveCompleted =
    "The macOS accessibility action may have completed after foreground protection changed and "
    "cannot be safely retried";

struct RefusalCase {
  std::string name;
  std::function<void(ElementActionFixture&)> setup;  // may be empty
  Json params;
  std::string message;
  bool guardArmed;  // the refusal comes after the guard's tap was installed
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

class ElementActionRefusal : public ElementActionFixture,
                             public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ElementActionRefusal, RefusesBeforeChangingAnything) {
  const RefusalCase& c = GetParam();
  if (c.setup)
    c.setup(*this);
  EXPECT_EQ(failureOf(c.params), c.message);
  EXPECT_TRUE(changes().empty());
  EXPECT_EQ(desktop->traceLines("tapCreated").empty(), !c.guardArmed);
}

Json without(Json params, const char* key) {
  params.erase(key);
  return params;
}

Json with(Json params, const char* key, Json value) {
  params[key] = std::move(value);
  return params;
}

void targetInFrontWithSecondWindowRaised(ElementActionFixture& f) {
  f.apply(R"({"frontmost": 200})");
  f.apply(R"({"raise": 22})");
}

const std::string kMissing = "Missing macOS computer-use parameter: ";
const std::string kNotActiveWindow =
    "The exact target is not the app's internally active window, so macOS cannot safely focus it "
    "in the background. Use set_value or target the app's active window";
const std::string kAnotherWindow =
    "Another window of the target app is currently focused; the accessibility action was not "
    "sent";

INSTANTIATE_TEST_SUITE_P(
    InCheckOrder,
    ElementActionRefusal,
    ::testing::Values(
        RefusalCase{"missing pid",
                    {},
                    without(actionRequest("set_value"), "pid"),
                    kMissing + "pid",
                    false},
        RefusalCase{"pid beyond 32 bits",
                    {},
                    with(actionRequest("set_value"), "pid", int64_t{1} << 40),
                    "The macOS computer-use parameter pid is out of range",
                    false},
        RefusalCase{"window id as a string",
                    {},
                    with(actionRequest("set_value"), "windowId", "21"),
                    kMissing + "windowId",
                    false},
        RefusalCase{"missing width",
                    {},
                    without(actionRequest("set_value"), "width"),
                    kMissing + "width",
                    false},
        RefusalCase{"missing height",
                    {},
                    without(actionRequest("set_value"), "height"),
                    kMissing + "height",
                    false},
        RefusalCase{"empty operation before the window",
                    {},
                    with(actionRequest(""), "windowId", 99),
                    kMissing + "operation",
                    false},
        RefusalCase{"window gone",
                    {},
                    with(actionRequest("set_value", nameField()), "windowId", 99),
                    "The observed macOS window disappeared. Call get_app_state again",
                    false},
        RefusalCase{"resized",
                    {},
                    with(actionRequest("set_value", nameField()), "width", 401.6),
                    "The observed macOS window resized. Call get_app_state again",
                    false},
        RefusalCase{"resized before the app check",
                    {},
                    Json{{"pid", 400},
                         {"windowId", 41},
                         {"width", 50},
                         {"height", 100},
                         {"operation", "set_value"}},
                    "The observed macOS window resized. Call get_app_state again",
                    false},
        RefusalCase{"not an application",
                    {},
                    Json{{"pid", 400},
                         {"windowId", 41},
                         {"width", 100},
                         {"height", 100},
                         {"operation", "set_value"}},
                    "The target macOS app is no longer running",
                    false},
        RefusalCase{"no accessibility window",
                    {},
                    Json{{"pid", 200},
                         {"windowId", 23},
                         {"width", 100},
                         {"height", 100},
                         {"operation", "set_value"}},
                    "The observed macOS window could not be uniquely matched. Call get_app_state "
                    "again",
                    false},
        RefusalCase{"no frontmost app", [](auto& f) { f.apply(R"({"frontmost": null})"); },
                    actionRequest("set_value", nameField()),
                    "Could not identify the foreground macOS app; no background input was sent",
                    false},
        RefusalCase{"activate with another target window in front",
                    targetInFrontWithSecondWindowRaised,
                    actionRequest("activate_button", okButton()), kAnotherWindow, false},
        RefusalCase{"action with another target window in front",
                    targetInFrontWithSecondWindowRaised,
                    actionRequest("action", okButton(), Json{{"action", "AXPress"}}),
                    kAnotherWindow, false},
        RefusalCase{"focus in a window that is not the app's focused one",
                    {},
                    Json{{"pid", 200},
                         {"windowId", 22},
                         {"width", 300},
                         {"height", 200},
                         {"operation", "focus_editable"}},
                    kNotActiveWindow,
                    false},
        RefusalCase{"focus in a background window of the frontmost target",
                    targetInFrontWithSecondWindowRaised,
                    Json{{"pid", 200},
                         {"windowId", 22},
                         {"width", 300},
                         {"height", 200},
                         {"operation", "focus_editable"}},
                    kNotActiveWindow, false},
        RefusalCase{"foreground app without a window",
                    [](auto& f) { f.apply(R"({"frontmost": 300})"); },
                    actionRequest("set_value", nameField()),
                    "Could not identify the exact foreground macOS window; no accessibility "
                    "action was sent",
                    false},
        RefusalCase{"missing element after the guard",
                    {},
                    actionRequest("set_value"),
                    kMissing + "element",
                    true},
        RefusalCase{"element as an array",
                    {},
                    actionRequest("activate_button", Json::array({okButton()})),
                    kMissing + "element",
                    true},
        RefusalCase{"no durable identity",
                    {},
                    actionRequest("activate_button", Json{{"path", {0}}, {"role", "AXButton"}}),
                    "The indexed accessibility element has no durable identity. Call "
                    "get_app_state again and use an exact coordinate action",
                    true},
        RefusalCase{"element gone",
                    {},
                    actionRequest("activate_button",
                                  Json{{"path", {0}}, {"role", "AXButton"}, {"title", "Cancel"}}),
                    "The indexed accessibility element is no longer present. Call get_app_state "
                    "again",
                    true},
        RefusalCase{
            "strict value for set_value",
            {},
            actionRequest("set_value", with(nameField(), "value", "hullo"), Json{{"value", "x"}}),
            "The indexed accessibility element is no longer present. Call get_app_state "
            "again",
            true},
        RefusalCase{"unknown operation after the element",
                    {},
                    actionRequest("press", okButton()),
                    "Unknown macOS element action",
                    true},
        RefusalCase{"unknown operation without element",
                    {},
                    actionRequest("press"),
                    kMissing + "element",
                    true},
        RefusalCase{"operation names are case-sensitive",
                    {},
                    actionRequest("Activate_Button", okButton()),
                    "Unknown macOS element action",
                    true}),
    RowName{});

TEST_F(ElementActionFixture, SizeWithinOnePointFiveIsTheSameWindow) {
  Json params = actionRequest("activate_button", okButton());
  params["width"] = 401.5;
  params["height"] = 298.5;
  EXPECT_EQ(perform(params), (Json{{"delivery", "verified"}}));
}

TEST_F(ElementActionFixture, NonElementOperationsProceedWithAnotherTargetWindowInFront) {
  targetInFrontWithSecondWindowRaised(*this);
  EXPECT_EQ(perform(actionRequest("set_value", nameField(), Json{{"value", "new"}})),
            (Json{{"delivery", "verified"}}));
  EXPECT_EQ(attribute("field", "AXValue"), "new");
}

TEST_F(ElementActionFixture, TargetInFrontActsWithoutGuard) {
  apply(R"({"frontmost": 200})");
  EXPECT_EQ(perform(actionRequest("activate_button", okButton())),
            (Json{{"delivery", "verified"}}));
  EXPECT_EQ(changes(), (std::vector<std::string>{"ok AXPress"}));
  EXPECT_TRUE(desktop->traceLines("tapCreated").empty());
}

TEST_F(ElementActionFixture, GuardArmedForABackgroundTarget) {
  EXPECT_EQ(perform(actionRequest("activate_button", okButton())),
            (Json{{"delivery", "verified"}}));
  auto created = desktop->traceLines("tapCreated");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0]["pid"], kTargetPid);
}

// A platform whose user switches to another app right after the request took
// its foreground snapshot: the guard's first check must stop the request.
class SwitchAfterSnapshot final : public ForwardingPlatform {
 public:
  explicit SwitchAfterSnapshot(sim::SimDesktop& inner)
      : ForwardingPlatform(inner), workspace_(inner) {}
  platform::Workspace& workspace() override { return workspace_; }

 private:
  class Workspace final : public platform::Workspace {
   public:
    explicit Workspace(sim::SimDesktop& desktop) : desktop_(desktop) {}
    platform::RunningApplicationRef frontmostApplication() override {
      auto answer = desktop_.workspace().frontmostApplication();
      if (!switched_) {
        switched_ = true;
        desktop_.apply(Json{{"frontmost", kThirdPid}});
      }
      return answer;
    }
    std::vector<platform::RunningApplicationRef> runningApplications() override {
      return desktop_.workspace().runningApplications();
    }
    platform::RunningApplicationRef runningApplicationWithProcessIdentifier(int32_t pid) override {
      return desktop_.workspace().runningApplicationWithProcessIdentifier(pid);
    }
    std::optional<std::string> urlForApplicationWithBundleIdentifier(std::string_view id) override {
      return desktop_.workspace().urlForApplicationWithBundleIdentifier(id);
    }
    std::optional<std::string> fullPathForApplication(std::string_view name) override {
      return desktop_.workspace().fullPathForApplication(name);
    }
    void openApplicationAtURL(std::string_view path,
                              const platform::OpenConfiguration& configuration,
                              platform::OpenCompletion completion) override {
      desktop_.workspace().openApplicationAtURL(path, configuration, std::move(completion));
    }
    platform::Image iconForFile(std::string_view path) override {
      return desktop_.workspace().iconForFile(path);
    }

   private:
    sim::SimDesktop& desktop_;
    bool switched_ = false;
  };

  Workspace workspace_;
};

TEST_F(ElementActionFixture, ForegroundChangeBeforeTheChangeSendsNothing) {
  SwitchAfterSnapshot platform(*desktop);
  ForegroundGuard switchingGuard(platform);
  std::string message;
  try {
    performElementAction(platform, switchingGuard,
                         actionRequest("set_value", nameField(), Json{{"value", "x"}}));
  } catch (const HelperFailure& failure) {
    message = failure.message();
  }
  EXPECT_EQ(message,
            "Zuzozevu Viv stopped because the user changed the foreground window; no "
            "accessibility action was sent");
  EXPECT_TRUE(changes().empty());
  EXPECT_EQ(attribute("field", "AXValue"), "hello");
}

// The user acts right after the change: the answer must say the action may
// have happened, and the change is indeed there.
struct AfterChangeCase {
  std::string name;
  Json rule;
  Json params;
  std::string message;
  std::vector<std::string> changes;
  friend void PrintTo(const AfterChangeCase& c, std::ostream* os) { *os << c.name; }
};

class ElementActionAfterChange : public ElementActionFixture,
                                 public ::testing::WithParamInterface<AfterChangeCase> {
 public:
  void SetUp() override { load(actionScene(Json::array({GetParam().rule}))); }
};

TEST_P(ElementActionAfterChange, ReportsThatTheActionMayHaveCompleted) {
  const AfterChangeCase& c = GetParam();
  EXPECT_EQ(failureOf(c.params), c.message);
  EXPECT_EQ(changes(), c.changes);
}

Json rule(Json when, Json action) {
  return Json{{"when", std::move(when)}, {"do", Json::array({std::move(action)})}};
}
Json afterSet(const char* ref, const char* attribute) {
  return Json{{"afterSet", {{"ref", ref}, {"attribute", attribute}}}};
}
Json afterAction(const char* ref, const char* action) {
  return Json{{"afterAction", {{"ref", ref}, {"action", action}}}};
}

const std::string kAppChanged =
    "The target macOS app changed during the accessibility action; the outcome is ambiguous and "
    "cannot be safely retried";

INSTANTIATE_TEST_SUITE_P(
    Cases,
    ElementActionAfterChange,
    ::testing::Values(
        AfterChangeCase{"press then another app in front",
                        rule(afterAction("ok", "AXPress"), Json{{"frontmost", kThirdPid}}),
                        actionRequest("activate_button", okButton()),
                        kMayHaveCompleted,
                        {"ok AXPress"}},
        AfterChangeCase{"press then the user clicks the target",
                        rule(afterAction("ok", "AXPress"),
                             Json{{"userInput", {{"pid", kTargetPid}, {"type", 1}}}}),
                        actionRequest("activate_button", okButton()),
                        kMayHaveCompleted,
                        {"ok AXPress"}},
        AfterChangeCase{"focus then the user scrolls in the target",
                        rule(afterSet("field", "AXFocused"),
                             Json{{"userInput", {{"pid", kTargetPid}, {"type", 22}}}}),
                        actionRequest("focus_editable", nameField()),
                        kMayHaveCompleted,
                        {"field AXFocused true"}},
        AfterChangeCase{"action then the target comes to the front",
                        rule(afterAction("ok", "AXPress"), Json{{"frontmost", kTargetPid}}),
                        actionRequest("action", okButton(), Json{{"action", "AXPress"}}),
                        kMayHaveCompleted,
                        {"ok AXPress"}},
        AfterChangeCase{"set value then no app in front",
                        rule(afterSet("field", "AXValue"), Json{{"frontmost", nullptr}}),
                        actionRequest("set_value", nameField(), Json{{"value", "new"}}),
                        kMayHaveCompleted,
                        {"field AXValue \"new\""}},
        AfterChangeCase{
            "select then another app in front",
            rule(afterSet("area", "AXSelectedTextRange"), Json{{"frontmost", kThirdPid}}),
            actionRequest("select_text", bodyArea(), Json{{"text", "b"}}),
            kMayHaveCompleted,
            {"area AXSelectedTextRange [2,0]"}},
        AfterChangeCase{
            "insert then another app in front",
            rule(afterSet("field", "AXValue"), Json{{"frontmost", kThirdPid}}),
            actionRequest("insert_text", nullptr, Json{{"x", 20}, {"y", 60}, {"text", "!"}}),
            kMayHaveCompleted,
            {"field AXValue \"hello!\"", "field AXSelectedTextRange [6,0]"}},
        AfterChangeCase{
            "page scroll then another app in front",
            rule(afterAction("scroll", "AXScrollDownByPage"), Json{{"frontmost", kThirdPid}}),
            actionRequest("page_scroll", cellElement(), Json{{"direction", "down"}}),
            kMayHaveCompleted,
            {"scroll AXScrollDownByPage"}},
        AfterChangeCase{"press then the target relaunches",
                        rule(afterAction("ok", "AXPress"), Json{{"relaunch", kTargetPid}}),
                        actionRequest("activate_button", okButton()),
                        kAppChanged,
                        {"ok AXPress"}},
        AfterChangeCase{
            "page scroll then the target quits",
            rule(afterAction("scroll", "AXScrollDownByPage"), Json{{"terminate", kTargetPid}}),
            actionRequest("page_scroll", cellElement(), Json{{"direction", "down"}}),
            kAppChanged,
            {"scroll AXScrollDownByPage"}}),
    RowName{});

TEST_F(ElementActionFixture, TargetInFrontSkipsTheGuardButNotTheIdentityCheck) {
  load(actionScene(
      Json::array({rule(afterAction("ok", "AXPress"), Json{{"relaunch", kTargetPid}})})));
  apply(R"({"frontmost": 200})");
  EXPECT_EQ(failureOf(actionRequest("activate_button", okButton())), kAppChanged);
}

}  // namespace
}  // namespace cuh::testing
