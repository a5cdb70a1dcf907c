// End-to-end latency of background input: from the call of a start function
// to its one finish, in process, on the simulated desktop on the real clock
// (the waits really elapse). Next to each figure stands the floor that the
// path's mandated waits add up to; "overhead_ms" is the helper's own cost
// above that floor (scheduling, accessibility calls, building and posting
// events, the tap callback), averaged over the iterations.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include <benchmark/benchmark.h>

#include "guard/foreground_guard.h"
#include "input/click.h"
#include "input/input_scene.h"
#include "input/key.h"
#include "input/scroll.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "protocol/request_completion.h"

namespace cuh {
namespace {

using testing::kTargetPid;
using testing::kTargetWindow;

// Ends the loop's run when the request finishes, after giving back the
// borrowed focus state as the dispatcher's finish does.
class LoopCompletion final : public RequestCompletion {
 public:
  LoopCompletion(sim::SimDesktop& desktop, ForegroundGuard& guard)
      : desktop_(desktop), guard_(guard) {}
  void finish(std::optional<int64_t>,
              std::optional<Json> result,
              std::optional<std::string> error) override {
    guard_.restoreAfterRequest();
    finished = true;
    failed = !result.has_value();
    if (error)
      message = *error;
    desktop_.loop().quit();
  }
  bool finished = false;
  bool failed = false;
  std::string message;

 private:
  sim::SimDesktop& desktop_;
  ForegroundGuard& guard_;
};

using StartFunction = void (*)(platform::Platform&, ForegroundGuard&, const Json&, Reply);

// The mandated waits of each path, in seconds.
// click: focus-click pause 0.02, at least one readiness poll 0.005, down/up
// pause 0.02, settle 0.12.
constexpr double kClickFloor = 0.02 + 0.005 + 0.02 + 0.12;
// key and wheel scroll: focus-click pause, one poll, settle.
constexpr double kKeyFloor = 0.02 + 0.005 + 0.12;
// accessibility page scroll: no wait at all.
constexpr double kPageScrollFloor = 0.0;

void runInput(benchmark::State& state, StartFunction start, Json params, double floor) {
  sim::DesktopOptions options;
  options.virtualClock = false;
  std::unique_ptr<sim::SimDesktop> desktop =
      sim::SimDesktop::create(testing::inputScene(), options);
  ForegroundGuard guard(*desktop);
  double overheadMs = 0;
  for (auto _ : state) {
    auto completion = std::make_shared<LoopCompletion>(*desktop, guard);
    auto began = std::chrono::steady_clock::now();
    try {
      start(*desktop, guard, params, Reply(completion, 1));
    } catch (const HelperFailure& failure) {
      state.SkipWithError(failure.message().c_str());
      break;
    }
    if (!completion->finished)
      desktop->loop().run();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (completion->failed) {
      state.SkipWithError(completion->message.c_str());
      break;
    }
    state.SetIterationTime(seconds);
    overheadMs += (seconds - floor) * 1000;
  }
  state.counters["floor_ms"] = floor * 1000;
  state.counters["overhead_ms"] =
      benchmark::Counter(overheadMs, benchmark::Counter::kAvgIterations);
}

Json target(Json extra) {
  Json params{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 800}, {"height", 600}};
  params.update(extra);
  return params;
}

void BM_Click(benchmark::State& state) {
  runInput(state, startClick,
           target({{"x", 400}, {"y", 300}, {"button", "left"}, {"clickCount", 1}}), kClickFloor);
}
void BM_Key(benchmark::State& state) {
  runInput(state, startKey,
           target({{"x", 50}, {"y", 20}, {"keyName", "x"}, {"keyCode", 7}, {"flags", 0}}),
           kKeyFloor);
}
void BM_ScrollWheel(benchmark::State& state) {
  runInput(state, startScroll, target({{"x", 20}, {"y", 60}, {"dx", 0}, {"dy", 120}}), kKeyFloor);
}
void BM_ScrollPage(benchmark::State& state) {
  runInput(state, startScroll,
           target({{"x", 400}, {"y", 300}, {"dx", 0}, {"dy", 120}, {"semanticFirst", true}}),
           kPageScrollFloor);
}

BENCHMARK(BM_Click)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_Key)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_ScrollWheel)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_ScrollPage)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1000);

}  // namespace
}  // namespace cuh

BENCHMARK_MAIN();
