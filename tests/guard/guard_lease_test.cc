// The guard lease: "begin_guard" and "end_guard" results and failures,
// expiry, and what the lease reports after the user or the target acted.
#include "guard/guard_lease.h"

#include <functional>

#include "guard/guard_fixture.h"

namespace cuh::testing {
namespace {

Json beginParams(int32_t pid = kTargetPid,
                 uint32_t windowId = kTargetWindow,
                 double width = 400,
                 double height = 300) {
  return {{"pid", pid}, {"windowId", windowId}, {"width", width}, {"height", height}};
}

class GuardLeases : public GuardFixture {
 protected:
  std::string begin() {
    Json result = guard->beginGuard(beginParams());
    return result["token"].get<std::string>();
  }
  Json end(const std::string& token) { return guard->endGuard({{"token", token}}); }
};

TEST_F(GuardLeases, BeginArmsTheTargetsControllerAndReturnsTheLease) {
  Json result = guard->beginGuard(beginParams());
  ASSERT_TRUE(result["token"].is_string());
  std::string token = result["token"];
  EXPECT_EQ(token.size(), 36U);
  EXPECT_EQ(result, (Json{{"token", token},
                          {"targetPID", kTargetPid},
                          {"targetWindowID", kTargetWindow},
                          {"foregroundPID", kUserPid},
                          {"foregroundWindowID", kUserWindow},
                          {"expiresInMs", 20000}}));

  ASSERT_TRUE(guard->hasLease());
  const GuardLease& lease = *guard->guardLease();
  EXPECT_EQ(lease.token, token);
  EXPECT_EQ(lease.controller, protection().controllerFor(kTargetPid));
  EXPECT_EQ(lease.foreground, userForeground());
  EXPECT_DOUBLE_EQ(lease.expiresAt, desktop->process().currentDate() + 20.0);
  const quartz::FocusContext& context = protection().controllerFor(kTargetPid)->context();
  EXPECT_TRUE(context.protecting);
  EXPECT_TRUE(context.semanticGuardActive);
  EXPECT_EQ(context.expectedWindowID, kTargetWindow);
  EXPECT_EQ(context.expectedStateMarker, 0);
  EXPECT_TRUE(trace("post").empty()) << "a lease posts nothing";
  EXPECT_TRUE(trace("set").empty()) << "and borrows nothing";
}

TEST_F(GuardLeases, BeginRefusesWithTheFirstFailingCheck) {
  struct Case {
    const char* name;
    std::function<void(Json& scene)> scene;
    Json params;
    std::string message;
  };
  auto none = [](Json&) {};
  const Case cases[] = {
      {"missing pid", none, Json{{"windowId", 21}, {"width", 400}, {"height", 300}},
       "Missing macOS computer-use parameter: pid"},
      {"height as a string", none,
       Json{{"pid", 200}, {"windowId", 21}, {"width", 400}, {"height", "300"}},
       "Missing macOS computer-use parameter: height"},
      {"unknown window", none, beginParams(kTargetPid, 99),
       "The observed macOS guard window disappeared. Call get_app_state again"},
      {"window of another process", none, beginParams(kThirdPid, kTargetWindow),
       "The observed macOS guard window disappeared. Call get_app_state again"},
      {"window without a frame",
       [](Json& s) {
         s["windows"][2]["row"] = {{"kCGWindowBounds", nullptr}};
       },
       beginParams(), "The observed macOS guard window disappeared. Call get_app_state again"},
      {"width off by more than 1.5", none, beginParams(kTargetPid, kTargetWindow, 401.6, 300),
       "The observed macOS guard window resized. Call get_app_state again"},
      {"height off by more than 1.5", none, beginParams(kTargetPid, kTargetWindow, 400, 298.4),
       "The observed macOS guard window resized. Call get_app_state again"},
      {"window of a process that is no app",
       [](Json& s) {
         s["windows"].push_back(Json::parse(
             R"({"id": 41, "pid": 400, "bounds": {"x": 0, "y": 0, "width": 400, "height": 300}})"));
       },
       beginParams(400, 41), "The guarded macOS app is no longer running"},
      {"no frontmost app", [](Json& s) { s["frontmost"] = nullptr; }, beginParams(),
       "Could not identify the foreground macOS app; no background input was sent"},
      {"frontmost app without a window",
       [](Json& s) {
         s["frontmost"] = kThirdPid;
         s["windows"].erase(1);
       },
       beginParams(), "Could not identify the exact foreground macOS window; no guard was started"},
      {"target in front", [](Json& s) { s["frontmost"] = kTargetPid; }, beginParams(),
       "The guarded macOS app is already foreground; no background guard was started"},
      {"target in front without an on-screen window",
       [](Json& s) {
         s["frontmost"] = kTargetPid;
         s["windows"][2]["onScreen"] = false;
         s["windows"].erase(3);
       },
       beginParams(), "Could not identify the exact foreground macOS window; no guard was started"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json scene = guardScene();
    c.scene(scene);
    load(scene);
    EXPECT_EQ(failureOf([&] { guard->beginGuard(c.params); }), c.message);
    EXPECT_FALSE(guard->hasLease());
  }
}

TEST_F(GuardLeases, SizeWithinOneAndAHalfPointsIsTheSameWindow) {
  Json result = guard->beginGuard(beginParams(kTargetPid, kTargetWindow, 401.5, 298.5));
  EXPECT_TRUE(guard->hasLease());
}

TEST_F(GuardLeases, WindowWithoutAccessibilityElementIsRefused) {
  Json scene = guardScene();
  scene["windows"][3].erase("ax");
  load(scene);
  EXPECT_NE(failureOf([&] { guard->beginGuard(beginParams(kTargetPid, kSecondWindow, 300, 200)); }),
            "");
  EXPECT_FALSE(guard->hasLease());
  EXPECT_TRUE(protection().controllers().empty());
}

TEST_F(GuardLeases, SecondBeginWhileHeldIsRefused) {
  begin();
  EXPECT_EQ(failureOf([&] { guard->beginGuard(beginParams(kThirdPid, kThirdWindow, 500, 400)); }),
            "A macOS foreground guard lease is already active");
  EXPECT_EQ(guard->guardLease()->targetPID, kTargetPid);
}

TEST_F(GuardLeases, EndNeedsTheTokenOfTheActiveLease) {
  EXPECT_EQ(failureOf([&] { guard->endGuard(Json::object()); }),
            "Missing macOS computer-use parameter: token");
  EXPECT_EQ(failureOf([&] { end("whatever"); }), "No macOS foreground guard lease is active");

  std::string token = begin();
  EXPECT_EQ(failureOf([&] { end("00000000-0000-0000-0000-000000000000"); }),
            "The macOS foreground guard token is invalid");
  EXPECT_TRUE(guard->hasLease());
  EXPECT_TRUE(protection().controllerFor(kTargetPid)->context().protecting) << "the lease goes on";

  Json result = end(token);
  EXPECT_EQ(result, (Json{{"foregroundPreserved", true},
                          {"userIntervened", false},
                          {"targetIsForeground", false},
                          {"guardHealthy", true},
                          {"foregroundPID", kUserPid},
                          {"foregroundWindowID", kUserWindow},
                          {"targetPID", kTargetPid},
                          {"targetWindowID", kTargetWindow}}));
  EXPECT_FALSE(guard->hasLease());
  EXPECT_EQ(failureOf([&] { end(token); }), "No macOS foreground guard lease is active");

  // The controller stays, idle, with its tap installed.
  auto controller = protection().controllerFor(kTargetPid);
  ASSERT_TRUE(controller);
  EXPECT_FALSE(controller->context().protecting);
  EXPECT_FALSE(controller->context().semanticGuardActive);
  EXPECT_TRUE(controller->canProtectCurrentProcess());
}

TEST_F(GuardLeases, ExpiresAfterTwentySeconds) {
  std::string token = begin();
  desktop->virtualClock()->advance(19.9);
  guard->expireLease();
  EXPECT_TRUE(guard->hasLease());
  desktop->virtualClock()->advance(0.1);
  guard->expireLease();
  EXPECT_FALSE(guard->hasLease()) << "at expiresAt the lease is over";

  begin();
  apply(R"({"advanceClock": 21})");
  guard->expireLease();
  EXPECT_EQ(failureOf([&] { end(token); }), "No macOS foreground guard lease is active");
  auto controller = protection().controllerFor(kTargetPid);
  EXPECT_FALSE(controller->context().protecting) << "expiry clears the controller";
}

TEST_F(GuardLeases, EndsWhenTheTargetQuits) {
  begin();
  apply(R"({"terminate": 200})");
  guard->expireLease();
  EXPECT_FALSE(guard->hasLease());
  guard->sweepControllers();
  EXPECT_TRUE(protection().controllers().empty());
}

struct LeaseStory {
  const char* name;
  const char* action;  // what happens during the lease; "" for nothing
  bool foregroundPreserved;
  bool userIntervened;
  bool targetIsForeground;
  bool guardHealthy;
  int32_t foregroundPID;
  uint32_t foregroundWindowID;
};

// Failures name the row.
void PrintTo(const LeaseStory& row, std::ostream* os) {
  *os << row.name;
}

const LeaseStory kStories[] = {
    {"nothing happens", "", true, false, false, true, kUserPid, kUserWindow},
    {"user scrolls over the target", R"({"userInput": {"pid": 200, "type": 22}})", true, true,
     false, false, kUserPid, kUserWindow},
    {"user types into the target", R"({"userInput": {"pid": 200, "type": 10}})", true, true, false,
     false, kUserPid, kUserWindow},
    {"user switches application", R"({"frontmost": 300})", false, true, false, true, kThirdPid,
     kThirdWindow},
    {"user switches, then the target activates", "switch+activate", false, true, false, false,
     kThirdPid, kThirdWindow},
    {"target activates itself", R"({"appActivates": 200})", true, false, false, true, kUserPid,
     kUserWindow},
    {"target comes to the front", R"({"frontmost": 200})", false, true, true, true, kTargetPid,
     kTargetWindow},
    {"system disables the tap", R"({"disableTap": {"pid": 200, "reason": "timeout"}})", true, false,
     false, false, kUserPid, kUserWindow},
    {"no frontmost application", R"({"frontmost": null})", false, true, false, true, 0, 0},
};

class LeaseStories : public GuardLeases, public ::testing::WithParamInterface<LeaseStory> {};

TEST_P(LeaseStories, EndReportsWhatHappened) {
  const LeaseStory& story = GetParam();
  std::string token = begin();
  if (std::string(story.action) == "switch+activate") {
    apply(R"({"frontmost": 300})");
    apply(R"({"appActivates": 200})");
  } else if (*story.action) {
    apply(story.action);
  }
  run();
  Json result = end(token);
  EXPECT_EQ(result["foregroundPreserved"], story.foregroundPreserved);
  EXPECT_EQ(result["userIntervened"], story.userIntervened);
  EXPECT_EQ(result["targetIsForeground"], story.targetIsForeground);
  EXPECT_EQ(result["guardHealthy"], story.guardHealthy);
  EXPECT_EQ(result["foregroundPID"], story.foregroundPID);
  EXPECT_EQ(result["foregroundWindowID"], story.foregroundWindowID);
  EXPECT_EQ(result["targetPID"], kTargetPid);
  EXPECT_EQ(result["targetWindowID"], kTargetWindow);
}

INSTANTIATE_TEST_SUITE_P(Table, LeaseStories, ::testing::ValuesIn(kStories), RowName());

TEST_F(GuardLeases, ClearingLeavesTheControllerIdleWithItsTap) {
  begin();
  guard->clearGuardLease();
  EXPECT_FALSE(guard->hasLease());
  ASSERT_EQ(protection().controllers().size(), 1U);
  EXPECT_FALSE(protection().controllerFor(kTargetPid)->context().protecting);
  EXPECT_TRUE(protection().controllerFor(kTargetPid)->canProtectCurrentProcess());
  guard->clearGuardLease();  // nothing left to clear
}

}  // namespace
}  // namespace cuh::testing
