// The events of background input as the Quartz library dresses them: the
// keystroke's modifier plan and the events of a drag path.
#include "platform/quartz/input_events.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_events.h"
#include "support/protection_scene.h"

namespace cuh::testing {
namespace {

using quartz::keyPlan;
using quartz::KeyStroke;

constexpr uint64_t kCommand = quartz::kCGEventFlagMaskCommand;
constexpr uint64_t kControl = quartz::kCGEventFlagMaskControl;
constexpr uint64_t kShift = quartz::kCGEventFlagMaskShift;
constexpr uint64_t kOption = quartz::kCGEventFlagMaskAlternate;
constexpr uint64_t kFn = quartz::kCGEventFlagMaskSecondaryFn;

TEST(InputEvents, KeyPlanHoldsModifiersInTableOrderAndReleasesInReverse) {
  struct Case {
    uint64_t flags;
    std::vector<KeyStroke> plan;
  };
  const Case cases[] = {
      {0, {{6, true, 0, true}, {6, false, 0, true}}},
      // Other bits ride on the key's own events only.
      {0x100, {{6, true, 0x100, true}, {6, false, 0x100, true}}},
      {kCommand | kShift,
       {{55, true, kCommand, false},
        {56, true, kCommand | kShift, false},
        {6, true, kCommand | kShift, true},
        {6, false, kCommand | kShift, true},
        {56, false, kCommand, false},
        {55, false, 0, false}}},
      {kCommand | kControl | kShift | kOption | kFn,
       {{55, true, kCommand, false},
        {59, true, kCommand | kControl, false},
        {56, true, kCommand | kControl | kShift, false},
        {58, true, kCommand | kControl | kShift | kOption, false},
        {63, true, kCommand | kControl | kShift | kOption | kFn, false},
        {6, true, kCommand | kControl | kShift | kOption | kFn, true},
        {6, false, kCommand | kControl | kShift | kOption | kFn, true},
        {63, false, kCommand | kControl | kShift | kOption, false},
        {58, false, kCommand | kControl | kShift, false},
        {56, false, kCommand | kControl, false},
        {59, false, kCommand, false},
        {55, false, 0, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    std::vector<KeyStroke> plan = keyPlan(6, c.flags);
    ASSERT_EQ(plan.size(), c.plan.size());
    for (size_t i = 0; i < plan.size(); ++i) {
      EXPECT_EQ(plan[i].keyCode, c.plan[i].keyCode) << i;
      EXPECT_EQ(plan[i].keyDown, c.plan[i].keyDown) << i;
      EXPECT_EQ(plan[i].flags, c.plan[i].flags) << i;
      EXPECT_EQ(plan[i].mainKey, c.plan[i].mainKey) << i;
    }
  }
}

// The down at the first point, a dragged event at each later one, the up at
// the last; each over the window at its window location, with only the
// subtype and window fields set.
TEST(InputEvents, DragEventsPressMoveAlongThePathAndRelease) {
  auto desktop = sim::SimDesktop::create(guardScene());
  quartz::Events& events = desktop->events();
  auto source = events.createEventSource(quartz::kCGEventSourceStatePrivate);
  platform::Rect frame{{100, 120}, {400, 300}};
  std::vector<platform::Point> path{{110, 130}, {120, 140}, {130.5, 150.25}};
  std::vector<quartz::Event> built = quartz::buildDragEvents(events, source, path, frame, 21);
  ASSERT_EQ(built.size(), 4u);
  const uint32_t types[] = {quartz::kCGEventLeftMouseDown, quartz::kCGEventLeftMouseDragged,
                            quartz::kCGEventLeftMouseDragged, quartz::kCGEventLeftMouseUp};
  for (size_t i = 0; i < built.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(built[i]->type(), types[i]);
    platform::Point point = path[i == 3 ? 2 : i];
    const auto& sim = dynamic_cast<const sim::SimEvent&>(*built[i]);
    EXPECT_EQ(sim.location(), point);
    Json trace = sim.traceJson();
    EXPECT_EQ(trace["windowX"], point.x - 100);
    EXPECT_EQ(trace["windowY"], point.y - 120);
    EXPECT_EQ(trace["fields"], (Json{{"7", 0}, {"91", 21}, {"92", 21}}));
  }
}

// On a system without the window-location call every gesture's events still
// go out, at their screen location only; the events report which.
TEST(InputEvents, WithoutTheWindowLocationCallEventsCarryTheirScreenLocationOnly) {
  for (bool windowLocation : {true, false}) {
    SCOPED_TRACE(windowLocation);
    sim::DesktopOptions options;
    options.windowLocation = windowLocation;
    auto desktop = sim::SimDesktop::create(guardScene(), options);
    quartz::Events& events = desktop->events();
    EXPECT_EQ(events.hasWindowLocation(), windowLocation);
    auto source = events.createEventSource(quartz::kCGEventSourceStatePrivate);

    quartz::ClickHalf half;
    half.type = quartz::kCGEventLeftMouseDown;
    half.screen = {150, 160};
    half.windowLocation = {50, 40};
    half.windowID = 21;
    std::vector<quartz::Event> built{quartz::buildClickEvent(events, half)};
    for (quartz::Event& event : quartz::buildDragEvents(events, source, {{150, 160}, {170, 180}},
                                                        {{100, 120}, {400, 300}}, 21))
      built.push_back(std::move(event));
    built.push_back(quartz::buildWheelEvent(events, source, platform::ScrollUnit::line, 0, 3,
                                            {150, 160}, {50, 40}, 21));
    ASSERT_EQ(built.size(), 5u);
    for (const quartz::Event& event : built) {
      ASSERT_TRUE(event);
      Json trace = dynamic_cast<const sim::SimEvent&>(*event).traceJson();
      EXPECT_GE(trace["x"].get<double>(), 150);
      EXPECT_EQ(trace.contains("windowX"), windowLocation) << trace.dump();
      EXPECT_EQ(trace["fields"]["91"], 21);
    }
  }
}

}  // namespace
}  // namespace cuh::testing
