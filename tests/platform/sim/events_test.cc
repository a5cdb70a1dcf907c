// Events and taps on the simulated desktop: posting, delivery order through
// taps, drops, disabled taps, the trace of posts and what target apps do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace cuh::sim {
namespace {

using nlohmann::json;
using quartz::Event;
using quartz::EventTap;

// What one tap saw, and what it answers.
struct TapProbe {
  explicit TapProbe(std::string n) : name(std::move(n)) {}
  std::string name;
  std::vector<std::string>* log = nullptr;
  bool drop = false;
  quartz::Events* events = nullptr;
  EventTap tap;
  bool reenable = false;
};

Event probeCallback(void*, uint32_t type, const Event& event, void* userInfo) {
  auto* probe = static_cast<TapProbe*>(userInfo);
  probe->log->push_back(probe->name + ":" + std::to_string(type) + ":" +
                        std::to_string(event->integerValueField(quartz::kCGEventSourceUserData)));
  if (type >= quartz::kCGEventTapDisabledByTimeout) {
    if (probe->reenable)
      probe->events->tapEnable(probe->tap, true);
    return nullptr;
  }
  return probe->drop ? nullptr : event;
}

constexpr uint64_t kHelperMask = 0x260240A;

class SimEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop_ = SimDesktop::create(json::parse(R"({
      "frontmost": 1,
      "apps": [{"pid": 1, "name": "User"}, {"pid": 2, "name": "Target"},
               {"pid": 3, "name": "Jumpy", "dropsActivation": true}],
      "windows": [
        {"id": 10, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 50, "height": 50}, "ax": {}},
        {"id": 20, "pid": 2, "bounds": {"x": 100, "y": 100, "width": 300, "height": 200},
         "ax": {"children": [
           {"ref": "field", "role": "AXTextField", "value": "hello", "selectedTextRange": [5, 0],
            "frame": {"x": 110, "y": 110, "width": 100, "height": 20},
            "children": [{"ref": "field.inner", "role": "AXStaticText", "frame": {"x": 112, "y": 112, "width": 10, "height": 10}}]},
           {"ref": "area", "role": "AXTextArea", "value": "añb", "selectedTextRange": [1, 1],
            "frame": {"x": 110, "y": 140, "width": 100, "height": 50}},
           {"ref": "button", "role": "AXButton", "frame": {"x": 250, "y": 110, "width": 40, "height": 20}}
         ]}}
      ]})"));
  }

  quartz::Events& events() { return desktop_->events(); }

  EventTap installTap(TapProbe& probe, int32_t pid, uint64_t mask = kHelperMask) {
    probe.log = &log_;
    probe.events = &events();
    probe.tap =
        events().tapCreateForPid(pid, quartz::kCGHeadInsertEventTap,
                                 quartz::kCGEventTapOptionDefault, mask, probeCallback, &probe);
    auto source = events().createRunLoopSource(probe.tap);
    events().addSourceToMainRunLoop(source);
    sources_.push_back(source);
    return probe.tap;
  }

  Event marked(uint32_t type, int64_t marker) {
    quartz::OtherEventParams params;
    params.type = type;
    params.windowNumber = 20;
    params.subtype = 1;
    Event event = events().createOtherEvent(params);
    event->setIntegerValueField(quartz::kCGEventSourceUserData, marker);
    return event;
  }

  Event mouseDown(double x, double y, uint32_t window) {
    auto source = events().createEventSource(quartz::kCGEventSourceStatePrivate);
    Event event = events().createMouseEvent(source, 1, {x, y}, quartz::kCGMouseButtonLeft);
    event->setIntegerValueField(quartz::kCGMouseEventWindowUnderMousePointer, window);
    return event;
  }

  void key(uint16_t code, uint64_t flags = 0) {
    auto source = events().createEventSource(quartz::kCGEventSourceStatePrivate);
    Event down = events().createKeyboardEvent(source, code, true);
    down->setFlags(flags);
    events().postToPid(2, down);
    events().postToPid(2, events().createKeyboardEvent(source, code, false));
  }

  std::unique_ptr<SimDesktop> desktop_;
  std::vector<std::string> log_;
  std::vector<quartz::RunLoopSource> sources_;
  std::vector<EventTap> probeTaps_;
};

TEST_F(SimEventsTest, PostedEventsReachTapsInCreationOrderAsynchronouslyInPostOrder) {
  TapProbe first("first"), second("second"), other("other");
  installTap(first, 2);
  installTap(second, 2);
  installTap(other, 1);
  events().postToPid(2, marked(13, 7));
  events().postToPid(2, marked(21, 8));
  EXPECT_TRUE(log_.empty());  // nothing is delivered inside the post
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(log_,
            (std::vector<std::string>{"first:13:7", "second:13:7", "first:21:8", "second:21:8"}));

  auto taps = desktop_->traceLines("tap");
  ASSERT_EQ(taps.size(), 4u);
  EXPECT_EQ(taps[0], json::parse(R"({"kind":"tap","pid":2,"type":13,"verdict":"pass"})"));
  auto created = desktop_->traceLines("tapCreated");
  ASSERT_EQ(created.size(), 3u);
  EXPECT_EQ(created[0], json::parse(R"({"kind":"tapCreated","pid":2,"mask":39855114})"));
}

TEST_F(SimEventsTest, ADropStopsTheEventAndMasksFilter) {
  TapProbe dropper("dropper"), later("later"), keysOnly("keys");
  dropper.drop = true;
  installTap(keysOnly, 2, quartz::CGEventMaskBit(10));
  installTap(dropper, 2);
  installTap(later, 2);
  events().postToPid(2, marked(13, 1));
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"dropper:13:1"}));
  auto taps = desktop_->traceLines("tap");
  ASSERT_EQ(taps.size(), 1u);
  EXPECT_EQ(taps[0]["verdict"], "drop");
}

TEST_F(SimEventsTest, TapsWithoutTheirSourceOrDisabledOrInvalidAreBypassed) {
  TapProbe probe("probe");
  installTap(probe, 2);
  events().removeSourceFromMainRunLoop(sources_[0]);
  events().postToPid(2, marked(13, 1));
  desktop_->loop().runUntilIdle();
  EXPECT_TRUE(log_.empty());

  events().addSourceToMainRunLoop(sources_[0]);
  events().tapEnable(probe.tap, false);
  EXPECT_FALSE(events().tapIsEnabled(probe.tap));
  events().postToPid(2, marked(13, 2));
  desktop_->loop().runUntilIdle();
  EXPECT_TRUE(log_.empty());

  events().tapEnable(probe.tap, true);
  EXPECT_TRUE(events().machPortIsValid(probe.tap));
  events().machPortInvalidate(probe.tap);
  EXPECT_FALSE(events().machPortIsValid(probe.tap));
  EXPECT_FALSE(events().tapIsEnabled(probe.tap));
  events().postToPid(2, marked(13, 3));
  desktop_->loop().runUntilIdle();
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(desktop_->traceLines("tapRemoved").size(), 1u);
}

TEST_F(SimEventsTest, DisabledTapsHearWhyAndEventsBypassThemUntilReenabled) {
  TapProbe stays("stays"), revives("revives");
  revives.reenable = true;
  installTap(stays, 2);
  installTap(revives, 2);
  desktop_->apply(json::parse(R"({"disableTap": {"pid": 2, "reason": "timeout"}})"));
  desktop_->apply(json::parse(R"({"disableTap": {"pid": 2, "reason": "userInput"}})"));
  EXPECT_EQ(log_, (std::vector<std::string>{"stays:4294967294:0", "revives:4294967294:0",
                                            "revives:4294967295:0"}));
  EXPECT_FALSE(events().tapIsEnabled(stays.tap));
  EXPECT_TRUE(events().tapIsEnabled(revives.tap));
  log_.clear();
  events().postToPid(2, marked(13, 5));
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"revives:13:5"}));
}

TEST_F(SimEventsTest, ScriptEventsCarryTheirSourceAndActivationsCanBeLost) {
  struct Seen {
    std::vector<std::pair<int64_t, int64_t>> sourceAndTarget;
    std::vector<int64_t> windows;
  } seen;
  auto callback = [](void*, uint32_t, const Event& event, void* info) -> Event {
    auto* s = static_cast<Seen*>(info);
    s->sourceAndTarget.emplace_back(event->integerValueField(41), event->integerValueField(40));
    s->windows.push_back(event->appKitView()->windowNumber);
    return event;
  };
  for (int32_t pid : {2, 3}) {
    auto tap =
        events().tapCreateForPid(pid, quartz::kCGHeadInsertEventTap,
                                 quartz::kCGEventTapOptionDefault, kHelperMask, callback, &seen);
    auto source = events().createRunLoopSource(tap);
    events().addSourceToMainRunLoop(source);
    sources_.push_back(source);
    probeTaps_.push_back(tap);
  }
  desktop_->apply(json::parse(R"({"userInput": {"pid": 2, "type": 1}})"));
  desktop_->apply(json::parse(R"({"appActivates": 2})"));
  desktop_->apply(json::parse(R"({"appActivates": 3})"));
  desktop_->apply(json::parse(R"({"event21": {"pid": 2, "from": 1, "windowNumber": 10}})"));
  events().postToPid(2, marked(13, 1));
  desktop_->loop().runUntilIdle();
  int32_t helper = desktop_->process().currentPid();
  EXPECT_EQ(seen.sourceAndTarget,
            (std::vector<std::pair<int64_t, int64_t>>{{0, 2}, {2, 2}, {1, 2}, {helper, 2}}));
  EXPECT_EQ(seen.windows, (std::vector<int64_t>{0, 0, 10, 20}));
  // Script events are not posts.
  EXPECT_EQ(desktop_->traceLines("post").size(), 1u);
}

TEST_F(SimEventsTest, PostTraceShowsExactlyWhatTheHelperSet) {
  quartz::MouseEventParams params;
  params.type = 1;
  params.location = {120, 130};
  params.windowNumber = 20;
  params.eventNumber = 5;
  params.clickCount = 2;
  params.pressure = 1;
  Event click = events().createMouseEventObject(params);
  click->setLocation({121, 131});
  click->setWindowLocation({21, 31});
  click->setIntegerValueField(quartz::kCGMouseEventClickState, 2);
  events().postToPid(2, click);

  quartz::OtherEventParams other;
  other.type = 21;
  other.subtype = static_cast<int16_t>(0x8000);
  other.windowNumber = 20;
  events().postToPid(2, events().createOtherEvent(other));

  auto source = events().createEventSource(quartz::kCGEventSourceStatePrivate);
  events().postToPid(
      2, events().createScrollWheelEvent2(source, quartz::kCGScrollEventUnitPixel, 2, -30, 4, 0));
  Event key = events().createKeyboardEvent(source, 0, true);
  key->setFlags(quartz::kCGEventFlagMaskShift);
  events().postToPid(2, key);

  auto posts = desktop_->traceLines("post");
  ASSERT_EQ(posts.size(), 4u);
  EXPECT_EQ(posts[0], json::parse(R"({"kind":"post","pid":2,"event":{"type":1,"flags":0,"x":121.0,
      "y":131.0,"windowX":21.0,"windowY":31.0,"windowNumber":20,"fields":{"1":2},"clickCount":2,
      "pressure":1.0}})"));
  EXPECT_EQ(posts[1]["event"]["subtype"], -32768);
  EXPECT_EQ(posts[1]["event"]["fields"], json::object());
  EXPECT_FALSE(posts[1]["event"].contains("windowX"));
  EXPECT_EQ(posts[2]["event"]["wheel"], json::array({-30, 4, 0}));
  EXPECT_EQ(posts[2]["event"]["units"], "pixel");
  EXPECT_EQ(posts[3]["event"]["keyCode"], 0);
  EXPECT_EQ(posts[3]["event"]["keyDown"], true);
  EXPECT_EQ(posts[3]["event"]["flags"], quartz::kCGEventFlagMaskShift);

  // The platform's own fields are readable but not "set".
  EXPECT_EQ(click->integerValueField(quartz::kCGEventSourceUnixProcessID),
            desktop_->process().currentPid());
  EXPECT_EQ(click->integerValueField(quartz::kCGMouseEventNumber), 5);
  auto view = events().createOtherEvent(other)->appKitView();
  ASSERT_TRUE(view);
  EXPECT_EQ(view->subtype, -32768);
  EXPECT_EQ(view->windowNumber, 20);
}

TEST_F(SimEventsTest, AClickFocusesTheEditableElementUnderIt) {
  // On the field's child: the field (its editable ancestor) takes focus.
  events().postToPid(2, mouseDown(115, 115, 20));
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(desktop_->attribute("app:2", "AXFocusedUIElement"), json("field"));
  // A button is not editable; a click outside the window or naming
  // another window does nothing.
  events().postToPid(2, mouseDown(260, 115, 20));
  events().postToPid(2, mouseDown(68, 68, 20));
  events().postToPid(2, mouseDown(150, 150, 10));
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(desktop_->attribute("app:2", "AXFocusedUIElement"), json("field"));
  events().postToPid(2, mouseDown(150, 150, 20));
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(desktop_->attribute("app:2", "AXFocusedUIElement"), json("area"));
  EXPECT_EQ(desktop_->attribute("field", "AXFocused"), json(false));
}

TEST_F(SimEventsTest, KeysTypeIntoTheFocusedEditableElement) {
  events().postToPid(2, mouseDown(115, 115, 20));
  key(0);                                   // a
  key(0, quartz::kCGEventFlagMaskShift);    // A
  key(18);                                  // 1
  key(49);                                  // space
  key(0, quartz::kCGEventFlagMaskCommand);  // nothing
  key(51);                                  // deletes the space
  key(122);                                 // F1 types nothing
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(desktop_->attribute("field", "AXValue"), json("helloaA1"));
  EXPECT_EQ(desktop_->attribute("field", "AXSelectedTextRange"), json::array({8, 0}));

  // The selection is replaced; offsets count UTF-16 units.
  events().postToPid(2, mouseDown(150, 150, 20));
  key(7);  // x replaces "ñ"
  key(51);
  key(51);
  desktop_->loop().runUntilIdle();
  EXPECT_EQ(desktop_->attribute("area", "AXValue"), json("b"));
  EXPECT_EQ(desktop_->attribute("area", "AXSelectedTextRange"), json::array({0, 0}));
}

}  // namespace
}  // namespace cuh::sim
