// The focus tap's callback sits at the head of the target's event stream:
// every masked event waits for it. These measure one decision per kind of
// event, on the simulated desktop with the test scene (4 windows).
#include <benchmark/benchmark.h>

#include "platform/quartz/focus_controller.h"
#include "platform/quartz/focus_tap_callback.h"
#include "platform/sim/sim_desktop.h"
#include "support/protection_scene.h"

namespace {

using namespace cuh;
using namespace cuh::testing;
using quartz::focusTapCallback;

struct Setup {
  std::unique_ptr<sim::SimDesktop> desktop = sim::SimDesktop::create(guardScene());
  std::shared_ptr<quartz::FocusController> controller = [this] {
    desktop->quartz().foregroundProtection().armSemanticGuard(kTargetPid, kTargetWindow,
                                                              {kUserPid, kUserWindow});
    return desktop->quartz().foregroundProtection().controllerFor(kTargetPid);
  }();

  quartz::Event event(uint32_t type, int32_t source, int16_t subtype, int64_t windowNumber) {
    quartz::OtherEventParams params;
    params.type = type;
    params.subtype = subtype;
    params.windowNumber = windowNumber;
    auto e = desktop->events().createOtherEvent(params);
    e->setIntegerValueField(quartz::kCGEventSourceUnixProcessID, source);
    e->setIntegerValueField(quartz::kCGEventTargetUnixProcessID, kTargetPid);
    return e;
  }
};

// Decided from the context alone: the helper's own mouse-down.
void BM_HelpersOwnMouseDown(benchmark::State& state) {
  Setup s;
  auto& context = s.controller->context();
  auto e = s.event(quartz::kCGEventLeftMouseDown, context.helperPID, 0, kTargetWindow);
  for (auto _ : state) {
    benchmark::DoNotOptimize(focusTapCallback(nullptr, e->type(), e, &context));
  }
}
BENCHMARK(BM_HelpersOwnMouseDown);

// The target activating itself: needs the frontmost application and the
// window list (protectedForegroundMatches), then drops.
void BM_TargetSelfActivationDropped(benchmark::State& state) {
  Setup s;
  auto& context = s.controller->context();
  auto e = s.event(quartz::NSEventTypeAppKitDefined, kTargetPid, 1, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(focusTapCallback(nullptr, e->type(), e, &context));
  }
}
BENCHMARK(BM_TargetSelfActivationDropped);

// A window-state event for the target: window list, then a replacement is
// built and posted to the foreground application.
void BM_WindowStateDiverted(benchmark::State& state) {
  Setup s;
  auto& context = s.controller->context();
  auto e = s.event(quartz::kEventTypeWindowState, kThirdPid, 0, kTargetWindow);
  int64_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(focusTapCallback(nullptr, e->type(), e, &context));
    // Keep the posted replacements from piling up in the loop.
    if (++n % 1024 == 0) {
      state.PauseTiming();
      s.desktop->loop().runUntilIdle(1);
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_WindowStateDiverted);

}  // namespace

BENCHMARK_MAIN();
