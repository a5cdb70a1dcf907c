// The tap callback's rules, each as (context state, event) → (verdict, state
// change): called directly, and once more through the desktop's delivery.
#include "platform/quartz/focus_tap_callback.h"

#include <optional>

#include "platform/quartz/quartz_fixture.h"
#include "platform/quartz/request_state.h"

namespace cuh::testing {
namespace {

using quartz::Event;
using quartz::focusTapCallback;

enum class Mode { synthetic, semantic };
enum class From { helper, target, user, third };
enum class Verdict { pass, drop };

constexpr int64_t kMarker = 0x1234567890ABCDEF;

struct ContextState {
  Mode mode = Mode::semantic;
  bool protecting = true;
  bool foregroundMatches = true;  // the protected window is the one in front
  int64_t marker = 0;             // expectedStateMarker
  int32_t foregroundPID = kUserPid;
};

struct IncomingEvent {
  uint32_t type = 0;
  From from = From::user;
  int32_t targetPID = kTargetPid;  // field 40
  int64_t windowNumber = kTargetWindow;
  int16_t subtype = 0;
  int64_t userData = 0;  // field 42
  uint64_t flags = 0;
};

struct Outcome {
  Verdict verdict = Verdict::pass;
  bool intervened = false;        // userIntervened set, protecting cleared
  bool sawActivation = false;     // sawSyntheticActivation afterwards
  bool postsReplacement = false;  // a type-21 copy goes to the foreground
};

struct Rule {
  const char* name;
  ContextState state;
  IncomingEvent event;
  Outcome outcome;
};

// Failures name the row.
void PrintTo(const Rule& row, std::ostream* os) {
  *os << row.name;
}

const Rule kRules[] = {
    // External input under the semantic guard: recorded, never withheld.
    {"user mouse-down, semantic", {}, {quartz::kCGEventLeftMouseDown}, {Verdict::pass, true}},
    {"user right mouse-down, semantic",
     {},
     {quartz::kCGEventRightMouseDown},
     {Verdict::pass, true}},
    {"user key-down, semantic", {}, {quartz::kCGEventKeyDown}, {Verdict::pass, true}},
    {"user scroll, semantic", {}, {quartz::kCGEventScrollWheel}, {Verdict::pass, true}},
    {"user other mouse-down, semantic",
     {},
     {quartz::kCGEventOtherMouseDown},
     {Verdict::pass, true}},
    {"helper's own mouse-down, semantic",
     {},
     {quartz::kCGEventLeftMouseDown, From::helper},
     {Verdict::pass, false}},
    {"target's own key-down, semantic",
     {},
     {quartz::kCGEventKeyDown, From::target},
     {Verdict::pass, false}},
    {"user mouse-down, synthetic mode: not recorded",
     {Mode::synthetic},
     {quartz::kCGEventLeftMouseDown},
     {Verdict::pass, false}},
    {"user mouse-down, protection off",
     {Mode::semantic, false},
     {quartz::kCGEventLeftMouseDown},
     {Verdict::pass, false}},

    // The marked activation.
    {"marked activation recognised",
     {Mode::synthetic, true, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, kMarker},
     {Verdict::pass, false, true}},
    {"marked activation, other marker",
     {Mode::synthetic, true, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, kMarker + 1},
     {Verdict::pass, false, false}},
    {"marked activation, no marker expected",
     {Mode::synthetic, true, true, 0},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, 0},
     {Verdict::pass, false, false}},
    {"marked activation after the foreground changed",
     {Mode::synthetic, true, false, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, kMarker},
     {Verdict::pass, false, false}},
    {"marked activation for another window",
     {Mode::synthetic, true, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kSecondWindow, 1, kMarker},
     {Verdict::pass, false, false}},
    {"marked activation with the wrong subtype",
     {Mode::synthetic, true, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 2, kMarker},
     {Verdict::pass, false, false}},
    {"marker carried by the target's own event",
     {Mode::synthetic, true, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::target, kTargetPid, kTargetWindow, 1, kMarker},
     {Verdict::pass, false, false}},
    {"marked activation while protection is off",
     {Mode::synthetic, false, true, kMarker},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, kMarker},
     {Verdict::pass, false, false}},
    {"target activates itself, synthetic mode",
     {Mode::synthetic},
     {quartz::NSEventTypeAppKitDefined, From::target, kTargetPid, 0, 1},
     {Verdict::pass, false, false}},

    // Activations under the semantic guard.
    {"target activates itself while the foreground matches",
     {},
     {quartz::NSEventTypeAppKitDefined, From::target, kTargetPid, 0, 1},
     {Verdict::drop, false}},
    {"target activates itself after the foreground changed",
     {Mode::semantic, true, false},
     {quartz::NSEventTypeAppKitDefined, From::target, kTargetPid, 0, 1},
     {Verdict::pass, true}},
    {"another process activates the target",
     {},
     {quartz::NSEventTypeAppKitDefined, From::third, kTargetPid, 0, 1},
     {Verdict::pass, true}},
    {"deactivation from another process",
     {},
     {quartz::NSEventTypeAppKitDefined, From::third, kTargetPid, 0, 2},
     {Verdict::pass, false}},
    {"helper's activation with a stale marker",
     {},
     {quartz::NSEventTypeAppKitDefined, From::helper, kTargetPid, kTargetWindow, 1, kMarker},
     {Verdict::pass, false, false}},

    // Window-state events.
    {"type 21 with no protected foreground",
     {Mode::semantic, true, true, 0, 0},
     {quartz::kEventTypeWindowState, From::third},
     {Verdict::pass, false}},
    {"target's type 21 for its window, synthetic, foreground matches",
     {Mode::synthetic},
     {quartz::kEventTypeWindowState, From::target},
     {Verdict::pass, false}},
    {"target's type 21 for its window, synthetic, foreground changed",
     {Mode::synthetic, true, false},
     {quartz::kEventTypeWindowState, From::target},
     {Verdict::drop, true}},
    {"target's type 21 for another window, synthetic: diverted",
     {Mode::synthetic},
     {quartz::kEventTypeWindowState, From::target, kTargetPid, kSecondWindow, 7, 0, 0x100000},
     {Verdict::drop, false, false, true}},
    {"helper's own type 21",
     {},
     {quartz::kEventTypeWindowState, From::helper},
     {Verdict::pass, false}},
    {"type 21 addressed to the target: diverted",
     {},
     {quartz::kEventTypeWindowState, From::third, kTargetPid, kTargetWindow, 5, 0, 0x40000},
     {Verdict::drop, false, false, true}},
    {"type 21 addressed to the target after the foreground changed",
     {Mode::semantic, true, false},
     {quartz::kEventTypeWindowState, From::third},
     {Verdict::drop, true}},
    {"target's own type 21, semantic: diverted",
     {},
     {quartz::kEventTypeWindowState, From::target, kThirdPid, kSecondWindow, 3},
     {Verdict::drop, false, false, true}},
    {"type 21 for another process, synthetic",
     {Mode::synthetic},
     {quartz::kEventTypeWindowState, From::third, kThirdPid, kThirdWindow},
     {Verdict::pass, false}},
    {"type 21 while protection is off",
     {Mode::semantic, false, false},
     {quartz::kEventTypeWindowState, From::third},
     {Verdict::pass, false}},
};

class TapCallbackRules : public QuartzFixture, public ::testing::WithParamInterface<Rule> {};

int32_t pidOf(From from, int32_t helperPID) {
  switch (from) {
    case From::helper:
      return helperPID;
    case From::target:
      return kTargetPid;
    case From::user:
      return 0;
    case From::third:
      return kThirdPid;
  }
  return 0;
}

TEST_P(TapCallbackRules, DecidesAndRecords) {
  const Rule& rule = GetParam();
  auto controller = armed();
  ASSERT_TRUE(controller);
  FocusContext& context = controller->context();
  context.foregroundPID = rule.state.foregroundPID;
  context.foregroundWindowID = rule.state.foregroundMatches ? kUserWindow : kThirdWindow;
  context.protecting = rule.state.protecting;
  context.semanticGuardActive = rule.state.mode == Mode::semantic;
  context.expectedWindowID = kTargetWindow;
  context.expectedStateMarker = rule.state.marker;

  quartz::OtherEventParams params;
  params.type = rule.event.type;
  params.windowNumber = rule.event.windowNumber;
  params.subtype = rule.event.subtype;
  params.modifierFlags = rule.event.flags;
  Event event = desktop->events().createOtherEvent(params);
  ASSERT_TRUE(event);
  event->setIntegerValueField(quartz::kCGEventSourceUnixProcessID,
                              pidOf(rule.event.from, context.helperPID));
  event->setIntegerValueField(quartz::kCGEventTargetUnixProcessID, rule.event.targetPID);
  event->setIntegerValueField(quartz::kCGEventSourceUserData, rule.event.userData);

  size_t postsBefore = trace("post").size();
  Event result = focusTapCallback(nullptr, rule.event.type, event, &context);

  EXPECT_EQ(result ? Verdict::pass : Verdict::drop, rule.outcome.verdict);
  if (result) {
    EXPECT_EQ(result.get(), event.get()) << "a passed event goes on unchanged";
  }
  EXPECT_EQ(context.userIntervened, rule.outcome.intervened);
  EXPECT_EQ(context.protecting, rule.state.protecting && !rule.outcome.intervened);
  EXPECT_EQ(context.sawSyntheticActivation, rule.outcome.sawActivation);
  EXPECT_EQ(context.expectedStateMarker, rule.state.marker);

  auto posts = trace("post");
  if (rule.outcome.postsReplacement) {
    ASSERT_EQ(posts.size(), postsBefore + 1);
    const Json& post = posts.back();
    EXPECT_EQ(post["pid"], kUserPid);
    EXPECT_EQ(post["event"]["type"], 21);
    EXPECT_EQ(post["event"]["windowNumber"], kUserWindow);
    EXPECT_EQ(post["event"]["subtype"], rule.event.subtype);
    EXPECT_EQ(post["event"]["flags"], rule.event.flags);
    EXPECT_EQ(post["event"]["x"], 0);
    EXPECT_EQ(post["event"]["y"], 0);
  } else {
    EXPECT_EQ(posts.size(), postsBefore) << "nothing is posted";
  }
}

INSTANTIATE_TEST_SUITE_P(Table, TapCallbackRules, ::testing::ValuesIn(kRules), RowName());

class TapCallback : public QuartzFixture {};

TEST_F(TapCallback, WithoutContextPassesEverything) {
  quartz::OtherEventParams params;
  params.type = quartz::NSEventTypeAppKitDefined;
  params.subtype = 1;
  Event event = desktop->events().createOtherEvent(params);
  EXPECT_EQ(focusTapCallback(nullptr, params.type, event, nullptr).get(), event.get());
}

TEST_F(TapCallback, DisabledTapLosesProtectionAndIsEnabledAgain) {
  for (uint32_t type :
       {quartz::kCGEventTapDisabledByTimeout, quartz::kCGEventTapDisabledByUserInput}) {
    auto controller = armed();
    FocusContext& context = controller->context();
    context.expectedStateMarker = kMarker;
    context.sawSyntheticActivation = true;
    context.semanticGuardActive = true;
    desktop->events().tapEnable(controller->tap(), false);

    quartz::OtherEventParams params;
    params.type = type;
    Event notice = desktop->events().createOtherEvent(params);
    EXPECT_EQ(focusTapCallback(nullptr, type, notice, &context), nullptr);
    EXPECT_FALSE(context.protecting);
    EXPECT_EQ(context.expectedStateMarker, 0);
    EXPECT_FALSE(context.sawSyntheticActivation);
    EXPECT_FALSE(context.userIntervened) << "a disabled tap is not the user";
    EXPECT_TRUE(desktop->events().tapIsEnabled(controller->tap()));
    EXPECT_TRUE(controller->canProtectCurrentProcess());
  }
}

// The same rules through the desktop: the events travel the target's tap
// asynchronously on the main loop.
class TapDelivery : public QuartzFixture {};

TEST_F(TapDelivery, UserInputReachesTheTargetAndIsRecorded) {
  auto controller = armSemantic();
  apply(R"({"userInput": {"pid": 200, "type": 10}})");
  EXPECT_FALSE(controller->context().userIntervened) << "delivery is asynchronous";
  run();
  EXPECT_EQ(tapVerdicts(), std::vector<std::string>{"pass"});
  EXPECT_TRUE(controller->context().userIntervened);
  EXPECT_FALSE(controller->context().protecting);
}

TEST_F(TapDelivery, TargetActivatingItselfIsDroppedWhileTheUserWindowIsInFront) {
  auto controller = armSemantic();
  apply(R"({"appActivates": 200})");
  run();
  EXPECT_EQ(tapVerdicts(), std::vector<std::string>{"drop"});
  EXPECT_FALSE(controller->context().userIntervened);

  apply(R"({"frontmost": 300})");
  apply(R"({"appActivates": 200})");
  run();
  EXPECT_EQ(tapVerdicts(), (std::vector<std::string>{"drop", "pass"}));
  EXPECT_TRUE(controller->context().userIntervened);
}

TEST_F(TapDelivery, WindowStateEventsForTheTargetGoToTheForeground) {
  auto controller = armSemantic();
  apply(R"({"event21": {"pid": 200, "from": 300, "windowNumber": 21}})");
  run();
  EXPECT_EQ(tapVerdicts(), std::vector<std::string>{"drop"});
  auto posts = trace("post");
  ASSERT_EQ(posts.size(), 1U);
  EXPECT_EQ(posts[0]["pid"], kUserPid);
  EXPECT_EQ(posts[0]["event"]["windowNumber"], kUserWindow);
  EXPECT_FALSE(controller->context().userIntervened);
}

TEST_F(TapDelivery, SystemDisablingTheTapEndsProtectionAndReEnablesIt) {
  auto controller = armSemantic();
  apply(R"({"disableTap": {"pid": 200, "reason": "timeout"}})");
  run();
  EXPECT_FALSE(controller->context().protecting);
  EXPECT_TRUE(controller->canProtectCurrentProcess());
  // Protection stays off for the rest of the request: the user's input is no
  // longer attributed, and the target's activation is no longer held back.
  apply(R"({"appActivates": 200})");
  run();
  EXPECT_EQ(tapVerdicts().back(), "pass");
}

TEST_F(TapDelivery, ClearedControllerPassesEverything) {
  auto controller = armSemantic();
  quartz::clearRequestState(*controller);
  apply(R"({"appActivates": 200})");
  apply(R"({"event21": {"pid": 200, "from": 300, "windowNumber": 21}})");
  apply(R"({"userInput": {"pid": 200, "type": 1}})");
  run();
  EXPECT_EQ(tapVerdicts(), (std::vector<std::string>{"pass", "pass", "pass"}));
  EXPECT_FALSE(controller->context().userIntervened);
  EXPECT_TRUE(trace("post").empty());
}

}  // namespace
}  // namespace cuh::testing
