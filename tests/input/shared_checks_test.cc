// The checks the four input methods share, one table run against each of
// click, drag, scroll and key: the window and application checks before
// anything is scheduled, the re-validation before the first event, the
// verification after the last, and the events the platform could not build.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/click.h"
#include "input/drag.h"
#include "input/input_harness.h"
#include "input/key.h"
#include "input/scroll.h"
#include "support/forwarding_platform.h"
#include "support/row_name.h"

namespace cuh::testing {
namespace {

struct Method {
  const char* name;
  StartFunction start;
  const char* noun;  // as the method's messages name what it sends
  Json params;       // a request that succeeds on the input scene
  // Points of the request inside a window of the size given (the second
  // window, the 50 x 50 window of the process that is no application).
  Json (*pointsIn)(double width, double height);
  size_t gesturePosts;  // events of the gesture itself
  const char* eventNotCreated;
  const char* modifierEventNotCreated;  // "" when the method has no modifier keys
};

Json windowParams(Json params) {
  params["pid"] = kTargetPid;
  params["windowId"] = kTargetWindow;
  params["width"] = 800;
  params["height"] = 600;
  return params;
}

const Method kMethods[] = {
    {"click", startClick, "click",
     windowParams({{"x", 400}, {"y", 300}, {"button", "left"}, {"clickCount", 1}}),
     [](double w, double h) {
       return Json{{"x", w / 20}, {"y", h / 20}};
     },
     2, "Could not create the targeted macOS mouse event", ""},
    {"drag", startDrag, "drag",
     windowParams({{"fromX", 400}, {"fromY", 300}, {"toX", 560}, {"toY", 140}}),
     [](double w, double h) {
       return Json{{"fromX", w / 20}, {"fromY", h / 20}, {"toX", w / 10}, {"toY", h / 10}};
     },
     18, "Could not create targeted macOS drag events", ""},
    {"scroll", startScroll, "scroll",
     windowParams({{"x", 400}, {"y", 300}, {"dx", 0}, {"dy", 120}}),
     [](double w, double h) {
       return Json{{"x", w / 20}, {"y", h / 20}};
     },
     1, "Could not create the targeted macOS scroll event", ""},
    {"key", startKey, "key",
     windowParams({{"x", 50}, {"y", 20}, {"keyName", "x"}, {"keyCode", 7}, {"flags", 0x20000}}),
     [](double w, double h) {
       return Json{{"x", w / 20}, {"y", h / 20}};
     },
     4, "Could not create the targeted macOS key event",
     "Could not create the targeted macOS modifier event"},
};

// Where a refusal comes from, and so how much was posted before it.
enum class Stage { validation, beforeFirstEvent, afterLastEvent };

struct Check {
  const char* name;
  // The request: the method's own with these changes ("points in" a window
  // of `pointsWidth` x `pointsHeight` when that is set).
  Json changes;
  double pointsWidth = 0;
  double pointsHeight = 0;
  // A script rule applied after the events posted so far, or a scene edit.
  std::function<void(Json& scene, const Method& method)> scene;
  // The answer; "%" stands for the method's noun.
  std::string message;
  Stage stage;
};

std::string expected(const std::string& message, const Method& method) {
  std::string out = message;
  if (auto at = out.find('%'); at != std::string::npos)
    out.replace(at, 1, method.noun);
  return out;
}

void PrintTo(const Check& check, std::ostream* os) {
  *os << check.name;
}

auto noChange = [](Json&, const Method&) {};

// In the order the checks run: each case would also fail every later one.
const Check kChecks[] = {
    {"pid missing before windowId",
     {{"pid", nullptr}, {"windowId", nullptr}},
     0,
     0,
     noChange,
     "Missing macOS computer-use parameter: pid",
     Stage::validation},
    {"pid beyond 32 bits",
     {{"pid", 2147483648LL}},
     0,
     0,
     noChange,
     "The macOS computer-use parameter pid is out of range",
     Stage::validation},
    {"windowId as a string",
     {{"windowId", "21"}},
     0,
     0,
     noChange,
     "Missing macOS computer-use parameter: windowId",
     Stage::validation},
    {"unknown window",
     {{"windowId", 999}},
     0,
     0,
     noChange,
     "The observed macOS window disappeared. Call get_app_state again",
     Stage::validation},
    {"not an application",
     {{"pid", kNoAppPid}, {"windowId", kNoAppWindow}, {"width", 50}, {"height", 50}},
     50,
     50,
     noChange,
     "The target macOS app is no longer running; no % was sent",
     Stage::validation},
    {"no frontmost app",
     {},
     0,
     0,
     [](Json& s, const Method&) { s["frontmost"] = nullptr; },
     "Could not identify the foreground macOS app; no background input was sent",
     Stage::validation},
    {"not the app's focused window",
     {{"windowId", kSecondWindow}, {"width", 300}, {"height", 200}},
     300,
     200,
     noChange,
     "The exact target is not the app's internally active window, so macOS cannot safely route "
     "background pointer or key input to it. Use an accessibility element action or target the "
     "app's active window",
     Stage::validation},
    {"focus rejected",
     {},
     0,
     0,
     [](Json& s, const Method&) {
       sceneApp(s, kTargetPid)["rejects"] = Json::array({"AXFocusedWindow"});
     },
     "The target app rejected synthetic background window focus; no input was sent",
     Stage::validation},
    {"foreground changes while waiting",
     {},
     0,
     0,
     [](Json& s, const Method&) {
       s["script"] = Json::array({afterTargetPosts(2, {{"frontmost", kThirdPid}})});
     },
     "Zuzozevu Viv stopped because the user changed the foreground window; no % was sent",
     Stage::beforeFirstEvent},
    {"target drops its activation",
     {},
     0,
     0,
     [](Json& s, const Method&) { sceneApp(s, kTargetPid)["dropsActivation"] = true; },
     "The target macOS window did not enter synthetic active/key state; no % was sent",
     Stage::beforeFirstEvent},
    {"app relaunched before the first event",
     {},
     0,
     0,
     [](Json& s, const Method&) {
       // A relaunched target has lost its synthetic state, which is
       // checked before the application itself.
       s["script"] =
           Json::array({afterTargetPosts(kSyntheticStatePosts, {{"relaunch", kTargetPid}})});
     },
     "The target macOS window did not enter synthetic active/key state; no % was sent",
     Stage::beforeFirstEvent},
    {"window moved by 1.6 before the first event",
     {},
     0,
     0,
     [](Json& s, const Method&) {
       s["script"] = Json::array({afterTargetPosts(
           kSyntheticStatePosts,
           {{"move", {{"id", kTargetWindow}, {"x", kWindowX + 1.6}, {"y", kWindowY}}}})});
     },
     "The target macOS window moved or resized before input was sent. Call get_app_state again",
     Stage::beforeFirstEvent},
    {"foreground changes after the last event",
     {},
     0,
     0,
     [](Json& s, const Method& method) {
       s["script"] = Json::array(
           {afterTargetPosts(static_cast<int>(kSyntheticStatePosts + method.gesturePosts),
                             {{"frontmost", kThirdPid}})});
     },
     "The % may have completed after the user changed the foreground window and cannot be safely "
     "retried",
     Stage::afterLastEvent},
};

class SharedInputChecks : public ::testing::TestWithParam<Check> {};

TEST_P(SharedInputChecks, AnswerEachMethodWithItsOwnWords) {
  const Check& check = GetParam();
  for (const Method& method : kMethods) {
    SCOPED_TRACE(method.name);
    Json params = withChanges(method.params, check.changes);
    if (check.pointsWidth > 0)
      params = withChanges(params, method.pointsIn(check.pointsWidth, check.pointsHeight));
    Json scene = inputScene();
    check.scene(scene, method);
    InputHarness harness(scene);
    Outcome outcome = harness.run(method.start, params);
    EXPECT_EQ(outcome.error.value_or("(success)"), expected(check.message, method));
    EXPECT_EQ(outcome.synchronous, check.stage == Stage::validation);
    size_t posts = check.stage == Stage::validation ? 0
                   : check.stage == Stage::beforeFirstEvent
                       ? kSyntheticStatePosts
                       : kSyntheticStatePosts + method.gesturePosts;
    EXPECT_EQ(outcome.posts.size(), posts);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SharedInputChecks, ::testing::ValuesIn(kChecks), RowName());

// A platform whose background input cannot build the gesture's events.
class NoEvents final : public platform::BackgroundInput {
 public:
  explicit NoEvents(platform::InputOutcome outcome) : outcome_(outcome) {}
  platform::InputOutcome send(int32_t, uint32_t, const platform::PlaceGesture& place) override {
    return place() ? outcome_ : platform::InputOutcome::notPlaced;
  }

 private:
  platform::InputOutcome outcome_;
};

class WithoutEvents final : public ForwardingPlatform {
 public:
  WithoutEvents(platform::Platform& inner, platform::InputOutcome outcome)
      : ForwardingPlatform(inner), input_(outcome) {}
  platform::BackgroundInput& backgroundInput() override { return input_; }

 private:
  NoEvents input_;
};

// After the re-validation passed, nothing of the gesture is sent and the
// answer says which event could not be built.
TEST(SharedInputChecks, EventsThePlatformCannotBuildAreNamed) {
  for (const Method& method : kMethods) {
    for (platform::InputOutcome failure : {platform::InputOutcome::eventNotCreated,
                                           platform::InputOutcome::modifierEventNotCreated}) {
      SCOPED_TRACE(std::string(method.name) + " " + std::to_string(static_cast<int>(failure)));
      InputHarness harness;
      WithoutEvents platform(harness.desktop(), failure);
      Outcome outcome = harness.run(platform, method.start, method.params);
      bool modifier = failure == platform::InputOutcome::modifierEventNotCreated &&
                      *method.modifierEventNotCreated;
      EXPECT_EQ(outcome.error.value_or("(success)"),
                modifier ? method.modifierEventNotCreated : method.eventNotCreated);
      EXPECT_FALSE(outcome.synchronous);
      EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts);
    }
  }
}

}  // namespace
}  // namespace cuh::testing

namespace cuh::testing {
namespace {

// A desktop whose input cannot reach every point or key macOS's can
// refuses the gesture before sending anything, in the method's own words.
TEST(SharedInputChecks, RefusalsOfADesktopSayNothingWasSent) {
  const struct {
    platform::InputOutcome refusal;
    std::string (*message)(const std::string& noun);
  } refusals[] = {
      {platform::InputOutcome::keyNotOnKeyboard,
       [](const std::string& noun) {
         return "The key has no key code on this desktop's keyboard; no " + noun + " was sent";
       }},
      {platform::InputOutcome::pointOutsideWindowArea,
       [](const std::string& noun) {
         return "The point lies on the window's frame (title bar or edge), where the " + noun +
                " would move or raise the window; no " + noun + " was sent";
       }},
      {platform::InputOutcome::amountTooLarge,
       [](const std::string& noun) {
         return "The " + noun + " is larger than this desktop sends at once; no " + noun +
                " was sent";
       }},
  };
  for (const Method& method : kMethods) {
    for (const auto& r : refusals) {
      SCOPED_TRACE(std::string(method.name) + " " + std::to_string(static_cast<int>(r.refusal)));
      InputHarness harness;
      WithoutEvents platform(harness.desktop(), r.refusal);
      Outcome outcome = harness.run(platform, method.start, method.params);
      EXPECT_EQ(outcome.error.value_or("(success)"), r.message(method.noun));
      EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts);
    }
  }
}

// Protection that dismissed a popup of the target during the request.
class PopupDismissed final : public platform::ForegroundProtection {
 public:
  explicit PopupDismissed(platform::ForegroundProtection& inner) : inner_(inner) {}
  platform::SemanticGuardArming armSemanticGuard(
      int32_t pid,
      uint32_t windowID,
      const platform::ForegroundSnapshot& foreground) override {
    return inner_.armSemanticGuard(pid, windowID, foreground);
  }
  bool acceptsPostedInput(int32_t pid, const platform::AXElement& window) override {
    return inner_.acceptsPostedInput(pid, window);
  }
  platform::ProtectionOutcome establishSyntheticState(
      int32_t pid,
      uint32_t windowID,
      const platform::AXElement& window,
      const platform::Rect& bounds,
      const platform::ForegroundSnapshot& foreground) override {
    return inner_.establishSyntheticState(pid, windowID, window, bounds, foreground);
  }
  bool syntheticStateReady(int32_t pid, uint32_t windowID) override {
    return inner_.syntheticStateReady(pid, windowID);
  }
  bool popupDismissed(int32_t pid) override { return pid == kTargetPid; }
  void restoreAfterRequest() override { inner_.restoreAfterRequest(); }
  void releaseControllers() override { inner_.releaseControllers(); }
  void sweepControllers() override { inner_.sweepControllers(); }

 private:
  platform::ForegroundProtection& inner_;
};

class WithPopupDismissed final : public ForwardingPlatform {
 public:
  explicit WithPopupDismissed(platform::Platform& inner)
      : ForwardingPlatform(inner), protection_(inner.foregroundProtection()) {}
  platform::ForegroundProtection& foregroundProtection() override { return protection_; }

 private:
  PopupDismissed protection_;
};

// The events went out; the verification then finds the popup the target
// opened and says the input may have taken effect.
TEST(SharedInputChecks, APopupDismissedDuringTheRequestMakesItUncertain) {
  for (const Method& method : kMethods) {
    SCOPED_TRACE(method.name);
    InputHarness harness;
    WithPopupDismissed platform(harness.desktop());
    Outcome outcome = harness.run(platform, method.start, method.params);
    EXPECT_EQ(outcome.error.value_or("(success)"),
              std::string("The target app opened a popup menu, which was closed again; the ") +
                  method.noun + " may have taken effect and cannot be safely retried");
    EXPECT_EQ(outcome.posts.size(), kSyntheticStatePosts + method.gesturePosts);
  }
}

}  // namespace
}  // namespace cuh::testing
