// The synthetic active/key state recipe: what establishing it posts and
// changes, the marker, and when the state counts as ready.
#include "platform/quartz/synthetic_state.h"

#include <deque>
#include <functional>

#include "platform/quartz/focus_tap_callback.h"
#include "platform/quartz/quartz_fixture.h"

namespace cuh::testing {
namespace {

using quartz::kFocusClickPause;

class SyntheticStateRecipe : public QuartzFixture {
 protected:
  double uptime() { return desktop->clock().uptime(); }
  bool ready(uint32_t windowID = kTargetWindow) {
    return protection().syntheticStateReady(kTargetPid, windowID);
  }
};

TEST_F(SyntheticStateRecipe, PostsWindowStateMarkedActivationAndFocusClick) {
  double before = uptime();
  ASSERT_EQ(establish(), ProtectionOutcome::done);
  EXPECT_NEAR(uptime() - before, kFocusClickPause, 1e-9) << "the one blocking pause";

  auto controller = protection().controllerFor(kTargetPid);
  ASSERT_TRUE(controller);
  int64_t marker = controller->context().expectedStateMarker;
  EXPECT_GT(marker, 0);

  auto posts = trace("post");
  ASSERT_EQ(posts.size(), 4U);
  for (const auto& post : posts)
    EXPECT_EQ(post["pid"], kTargetPid);

  const Json& windowState = posts[0]["event"];
  EXPECT_EQ(windowState["type"], 21);
  EXPECT_EQ(windowState["subtype"], -32768);
  EXPECT_EQ(windowState["flags"], 0);
  EXPECT_EQ(windowState["windowNumber"], kTargetWindow);
  EXPECT_EQ(windowState["x"], 0);
  EXPECT_EQ(windowState["y"], 0);
  EXPECT_EQ(windowState["fields"], Json::object());

  const Json& activation = posts[1]["event"];
  EXPECT_EQ(activation["type"], 13);
  EXPECT_EQ(activation["subtype"], 1);
  EXPECT_EQ(activation["flags"], 0xC0000);
  EXPECT_EQ(activation["windowNumber"], kTargetWindow);
  EXPECT_EQ(activation["fields"], (Json{{"42", marker}}));

  // Window 21 is at (100, 120): the click lands 32 points above and left.
  for (int half = 0; half < 2; ++half) {
    const Json& click = posts[2 + half]["event"];
    SCOPED_TRACE(half == 0 ? "down" : "up");
    EXPECT_EQ(click["type"], half == 0 ? 1 : 2);
    EXPECT_EQ(click["flags"], 0);
    EXPECT_EQ(click["x"], 68);
    EXPECT_EQ(click["y"], 88);
    EXPECT_EQ(click["windowX"], -32);
    EXPECT_EQ(click["windowY"], -32);
    EXPECT_EQ(click["windowNumber"], kTargetWindow);
    EXPECT_EQ(click["clickCount"], 1);
    EXPECT_EQ(click["pressure"], half == 0 ? 1.0 : 0.0);
    EXPECT_EQ(click["fields"], (Json{{"0", 1 + half},
                                     {"1", 1},
                                     {"3", 0},
                                     {"7", 3},
                                     {"91", kTargetWindow},
                                     {"92", kTargetWindow}}));
  }
  EXPECT_EQ(nextMouseEventNumber(), 3);

  auto sets = trace("set");
  ASSERT_EQ(sets.size(), 2U);
  EXPECT_EQ(sets[0]["target"], "app:200");
  EXPECT_EQ(sets[0]["attribute"], "AXFocusedWindow");
  EXPECT_EQ(sets[0]["value"], "note");
  EXPECT_EQ(sets[1]["target"], "note");
  EXPECT_EQ(sets[1]["attribute"], "AXFocused");
  EXPECT_EQ(sets[1]["value"], true);

  EXPECT_FALSE(ready()) << "the tap has not seen the marked activation yet";
  run();
  EXPECT_TRUE(controller->context().sawSyntheticActivation);
  EXPECT_TRUE(ready());
}

TEST_F(SyntheticStateRecipe, EveryEstablishDrawsANewMarkerAndOnlyTheCurrentOneCounts) {
  establish();
  auto controller = protection().controllerFor(kTargetPid);
  int64_t first = controller->context().expectedStateMarker;
  run();
  protection().restoreAfterRequest();

  establish();
  int64_t second = controller->context().expectedStateMarker;
  EXPECT_NE(first, second);
  EXPECT_EQ(nextMouseEventNumber(), 5) << "event numbers only grow";

  quartz::OtherEventParams params;
  params.type = quartz::NSEventTypeAppKitDefined;
  params.windowNumber = kTargetWindow;
  params.subtype = quartz::NSEventSubtypeApplicationActivated;
  quartz::Event late = desktop->events().createOtherEvent(params);
  late->setIntegerValueField(quartz::kCGEventSourceUserData, first);
  quartz::focusTapCallback(nullptr, params.type, late, &controller->context());
  EXPECT_FALSE(controller->context().sawSyntheticActivation);
}

TEST_F(SyntheticStateRecipe, MarkerIsNeverZeroAndUsesSixtyThreeBits) {
  class Draws final : public platform::ProcessServices {
   public:
    explicit Draws(std::deque<uint64_t> values) : values_(std::move(values)) {}
    int killZero(int32_t) override { return 0; }
    int32_t currentPid() override { return 1; }
    double systemUptime() override { return 0; }
    double currentDate() override { return 0; }
    uint64_t random64() override {
      uint64_t v = values_.front();
      values_.pop_front();
      return v;
    }
    std::string uuidString() override { return ""; }
    std::string currentDirectory() override { return "/"; }

   private:
    std::deque<uint64_t> values_;
  };
  Draws zeroes({0, uint64_t{1} << 63, ~uint64_t{0}});
  EXPECT_EQ(quartz::drawStateMarker(zeroes), INT64_MAX);
  Draws high({(uint64_t{1} << 63) | 5});
  EXPECT_EQ(quartz::drawStateMarker(high), 5);
}

TEST_F(SyntheticStateRecipe, RefusedWindowFocusPostsNothing) {
  Json scene = guardScene();
  scene["apps"][1]["rejects"] = {"AXFocusedWindow"};
  load(scene);
  EXPECT_EQ(establish(), ProtectionOutcome::focusRejected);
  EXPECT_TRUE(trace("post").empty());
  auto controller = protection().controllerFor(kTargetPid);
  ASSERT_TRUE(controller);
  EXPECT_TRUE(controller->holdsBorrowedState()) << "kept so the end of the request restores";
  EXPECT_EQ(nextMouseEventNumber(), 1);
}

TEST_F(SyntheticStateRecipe, ReadinessNeedsEveryPiece) {
  struct Case {
    const char* name;
    std::function<void(SyntheticStateRecipe&, FocusController&)> change;
    uint32_t windowID;
  };
  const Case cases[] = {
      {"ready", [](SyntheticStateRecipe&, FocusController&) {}, kTargetWindow},
      {"another window", [](SyntheticStateRecipe&, FocusController&) {}, kSecondWindow},
      {"user intervened",
       [](SyntheticStateRecipe&, FocusController& c) { c.context().userIntervened = true; },
       kTargetWindow},
      {"activation not seen",
       [](SyntheticStateRecipe&, FocusController& c) {
         c.context().sawSyntheticActivation = false;
       },
       kTargetWindow},
      {"tap disabled",
       [](SyntheticStateRecipe& t, FocusController& c) {
         t.desktop->events().tapEnable(c.tap(), false);
       },
       kTargetWindow},
      {"focus moved to another window",
       [](SyntheticStateRecipe& t, FocusController&) {
         auto& ax = t.desktop->accessibility();
         ax.setAttributeValue(
             ax.createApplication(kTargetPid), "AXFocusedWindow",
             platform::Value(platform::Value::Storage(t.desktop->element("second"))));
       },
       kTargetWindow},
      {"target relaunched",
       [](SyntheticStateRecipe& t, FocusController&) { t.apply(R"({"relaunch": 200})"); },
       kTargetWindow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load(guardScene());
    establish();
    run();
    auto controller = protection().controllerFor(kTargetPid);
    c.change(*this, *controller);
    EXPECT_EQ(ready(c.windowID), std::string(c.name) == "ready");
  }
  load(guardScene());
  EXPECT_FALSE(ready()) << "no controller";
}

}  // namespace
}  // namespace cuh::testing
