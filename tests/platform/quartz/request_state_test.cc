// The end of a request: the borrowed focus state is given back only while
// the same foreground window is in front and the user did not take over;
// the request state is cleared in every case.
#include "platform/quartz/request_state.h"

#include <algorithm>
#include <functional>

#include "platform/quartz/quartz_fixture.h"

namespace cuh::testing {
namespace {

// The target's focused window is its second one, so that the synthetic
// state on the first one visibly borrows something.
Json borrowingScene() {
  Json scene = guardScene();
  scene["apps"][1]["focusedWindow"] = kSecondWindow;
  return scene;
}

struct Condition {
  const char* name;
  std::function<void(QuartzFixture&, FocusController&)> change;
  bool restores;
};

// Failures name the row.
void PrintTo(const Condition& row, std::ostream* os) {
  *os << row.name;
}

class RestoreConditions : public QuartzFixture, public ::testing::WithParamInterface<Condition> {
 protected:
  void SetUp() override { load(borrowingScene()); }
};

const Condition kConditions[] = {
    {"unchanged", [](QuartzFixture&, FocusController&) {}, true},
    {"target relaunched",
     [](QuartzFixture& f, FocusController&) {
       f.desktop->apply(Json{{"relaunch", kTargetPid}});
     },
     false},
    {"no frontmost application",
     [](QuartzFixture& f, FocusController&) {
       f.desktop->apply(Json{{"frontmost", nullptr}});
     },
     false},
    {"no window recorded", [](QuartzFixture&, FocusController& c) { c.windowID = 0; }, false},
    {"target came to the front",
     [](QuartzFixture& f, FocusController&) {
       f.desktop->apply(Json{{"frontmost", kTargetPid}});
     },
     false},
    {"user switched application",
     [](QuartzFixture& f, FocusController&) {
       f.desktop->apply(Json{{"frontmost", kThirdPid}});
     },
     false},
    {"user's front window closed",
     [](QuartzFixture& f, FocusController&) {
       f.desktop->apply(Json{{"closeWindow", kUserWindow}});
     },
     false},
    {"user intervened",
     [](QuartzFixture&, FocusController& c) { c.context().userIntervened = true; }, false},
};

TEST_P(RestoreConditions, RestoresOnlyWhenEveryConditionHolds) {
  const Condition& condition = GetParam();
  ASSERT_EQ(establish(), ProtectionOutcome::done);
  auto controller = protection().controllerFor(kTargetPid);
  ASSERT_TRUE(controller && controller->holdsBorrowedState());
  ASSERT_EQ(desktop->attribute("app:200", "AXFocusedWindow"), Json("note"));
  ASSERT_EQ(desktop->attribute("app:200", "AXFocusedUIElement"), Json("note"));
  run();

  condition.change(*this, *controller);
  size_t postsBefore = trace("post").size();
  protection().restoreAfterRequest();

  auto posts = trace("post");
  if (condition.restores) {
    ASSERT_EQ(posts.size(), postsBefore + 1);
    const Json& event = posts.back()["event"];
    EXPECT_EQ(posts.back()["pid"], kTargetPid);
    EXPECT_EQ(event["type"], 13);
    EXPECT_EQ(event["subtype"], 2);
    EXPECT_EQ(event["flags"], 0);
    EXPECT_EQ(event["windowNumber"], kTargetWindow);
    EXPECT_EQ(desktop->attribute("app:200", "AXFocusedWindow"), Json("second"));
    EXPECT_EQ(desktop->attribute("app:200", "AXFocusedUIElement"), Json("field"));
    EXPECT_EQ(desktop->attribute("note", "AXFocused"), Json(false));
  } else {
    EXPECT_EQ(posts.size(), postsBefore) << "no deactivation event";
    if (condition.name != std::string("target relaunched")) {
      EXPECT_EQ(desktop->attribute("app:200", "AXFocusedWindow"), Json("note"));
    }
  }

  // Cleared either way.
  EXPECT_FALSE(controller->holdsBorrowedState());
  EXPECT_FALSE(controller->targetWindow);
  EXPECT_FALSE(controller->originalFocusedWindow);
  EXPECT_FALSE(controller->originalFocusedUIElement);
  EXPECT_FALSE(controller->originalTargetWindowFocused.has_value());
  EXPECT_EQ(controller->windowID, 0U);
  const FocusContext& context = controller->context();
  EXPECT_FALSE(context.protecting);
  EXPECT_EQ(context.foregroundPID, 0);
  EXPECT_EQ(context.foregroundWindowID, 0U);
  EXPECT_EQ(context.expectedWindowID, 0U);
  EXPECT_EQ(context.expectedStateMarker, 0);
  EXPECT_FALSE(context.sawSyntheticActivation);
  EXPECT_FALSE(context.semanticGuardActive);
  EXPECT_FALSE(context.userIntervened);
  EXPECT_TRUE(desktop->events().tapIsEnabled(controller->tap())) << "the tap stays installed";
}

INSTANTIATE_TEST_SUITE_P(Table, RestoreConditions, ::testing::ValuesIn(kConditions), RowName());

class RequestState : public QuartzFixture {};

TEST_F(RequestState, RefusedFocusedElementIsFocusedDirectly) {
  Json scene = borrowingScene();
  scene["apps"][1]["rejects"] = {"AXFocusedUIElement"};
  load(scene);
  ASSERT_EQ(establish(), ProtectionOutcome::done);
  protection().restoreAfterRequest();

  auto sets = trace("set");
  auto refused = std::find_if(sets.begin(), sets.end(), [](const Json& line) {
    return line["target"] == "app:200" && line["attribute"] == "AXFocusedUIElement";
  });
  ASSERT_NE(refused, sets.end());
  EXPECT_EQ((*refused)["ok"], false);
  ASSERT_NE(refused + 1, sets.end());
  EXPECT_EQ((refused + 1)->at("target"), "field");
  EXPECT_EQ((refused + 1)->at("attribute"), "AXFocused");
  EXPECT_EQ((refused + 1)->at("value"), true);
  EXPECT_EQ(desktop->attribute("app:200", "AXFocusedUIElement"), Json("field"));
}

TEST_F(RequestState, SemanticGuardOnlyIsClearedWithoutTouchingTheTarget) {
  auto controller = armSemantic();
  size_t setsBefore = trace("set").size();
  protection().restoreAfterRequest();
  EXPECT_TRUE(trace("post").empty());
  EXPECT_EQ(trace("set").size(), setsBefore);
  EXPECT_FALSE(controller->context().semanticGuardActive);
  EXPECT_FALSE(controller->context().protecting);
}

TEST_F(RequestState, SweptControllerIsClearedWithoutRestore) {
  ASSERT_EQ(establish(), ProtectionOutcome::done);
  auto controller = protection().controllerFor(kTargetPid);
  size_t postsBefore = trace("post").size();
  size_t setsBefore = trace("set").size();
  apply(R"({"terminate": 200})");
  protection().sweepControllers();
  EXPECT_EQ(trace("post").size(), postsBefore);
  EXPECT_EQ(trace("set").size(), setsBefore);
  EXPECT_FALSE(controller->holdsBorrowedState());
  EXPECT_TRUE(protection().controllers().empty());
}

}  // namespace
}  // namespace cuh::testing
