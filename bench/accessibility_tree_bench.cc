// Observation on the simulated desktop: a 600-row tree snapshot and a
// worst-case re-resolution (1200 elements examined), each as a whole request
// ("accessibility_tree", "resolve_element"), with every accessibility round
// trip taking 0, 20 or 50 microseconds (the scene's axLatencyUs; a batched
// read is one round trip). The real clock is used throughout, since the
// latency blocks through the loop's sleep.
//
// Counters: rows (or elements examined), accessibility round trips per row
// (or per examined element), and wall time per row (or per examined
// element).
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "accessibility/accessibility_tree.h"
#include "accessibility/ax_scene.h"
#include "accessibility/resolve_element_request.h"
#include "support/counting_accessibility.h"

namespace cuh {
namespace {

using testing::relativeFrame;

Json button(const std::string& title, double x, double y) {
  return {{"role", "AXButton"},
          {"title", title},
          {"description", title + " button"},
          {"identifier", "id-" + title},
          {"actions", {"AXPress", "AXShowMenu"}},
          {"enabled", true},
          {"frame", relativeFrame(x, y, 60, 20)}};
}

// 30 groups of 30 buttons: 931 elements, so the snapshot is cut at 600.
Json snapshotScene(int latencyUs) {
  Json groups = Json::array();
  for (int g = 0; g < 30; ++g) {
    Json kids = Json::array();
    for (int b = 0; b < 30; ++b) {
      kids.push_back(button(std::to_string(g) + "." + std::to_string(b), b * 20.0, g * 20.0));
    }
    groups.push_back(
        {{"role", "AXGroup"}, {"children", kids}, {"frame", relativeFrame(0, g * 20.0, 800, 20)}});
  }
  Json scene = testing::sceneWith(groups);
  scene["axLatencyUs"] = latencyUs;
  return scene;
}

// The target is the 1200th element of the search, and every element before
// it has the target's role, so that each identity comparison reads the role
// and the title. The observed path no longer leads anywhere.
Json searchScene(int latencyUs) {
  Json top = Json::array();
  int before = 1198;  // elements between the window and the target
  int n = 0;
  while (before > 0) {
    int kids = std::min(before - 1, 100);
    Json list = Json::array();
    for (int i = 0; i < kids; ++i)
      list.push_back(button("filler " + std::to_string(n++), 0, 0));
    top.push_back({{"role", "AXButton"}, {"title", "group"}, {"children", list}});
    before -= kids + 1;
  }
  top.push_back(button("Target", 300, 200));
  Json scene = testing::sceneWith(top);
  scene["axLatencyUs"] = latencyUs;
  return scene;
}

sim::DesktopOptions realClock() {
  sim::DesktopOptions options;
  options.virtualClock = false;
  return options;
}

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// What one simulated accessibility round trip of 20 or 50 microseconds
// really blocks for on this machine: the loop's sleep on the real clock,
// which wakes late.
void BM_LoopSleep(benchmark::State& state) {
  auto desktop = sim::SimDesktop::create(testing::sceneWith(Json::array()), realClock());
  const double seconds = static_cast<double>(state.range(0)) * 1e-6;
  for (auto _ : state)
    desktop->mainLoop().sleep(seconds);
}

void BM_AccessibilityTreeSnapshot(benchmark::State& state) {
  int latencyUs = static_cast<int>(state.range(0));
  auto desktop = sim::SimDesktop::create(snapshotScene(latencyUs), realClock());
  testing::CountingPlatform platform(*desktop);
  Json params = testing::windowParams();
  size_t rows = 0;
  double cpuSeconds = 0;
  for (auto _ : state) {
    double start = threadCpuSeconds();
    Json result = accessibilityTree(platform, params);
    cpuSeconds += threadCpuSeconds() - start;
    rows = result.size();
    benchmark::DoNotOptimize(result);
  }
  double iterations = static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["ax_round_trips_per_row"] =
      static_cast<double>(platform.counter().calls()) / iterations / static_cast<double>(rows);
  // Wall time per row (seconds, printed with an SI prefix: "u" is
  // microseconds), and the thread's CPU time per row in microseconds: the
  // helper's own work plus the simulated desktop's answers, without waits.
  state.counters["time_per_row"] =
      benchmark::Counter(static_cast<double>(rows) * iterations,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["cpu_us_per_row"] = cpuSeconds * 1e6 / iterations / static_cast<double>(rows);
}

void BM_ResolveElementWorstCase(benchmark::State& state) {
  int latencyUs = static_cast<int>(state.range(0));
  auto desktop = sim::SimDesktop::create(searchScene(latencyUs), realClock());
  testing::CountingPlatform platform(*desktop);
  Json params = testing::windowParams();
  params["element"] = {{"path", {999}}, {"role", "AXButton"}, {"title", "Target"}, {"x", 300},
                       {"y", 200},      {"width", 60},        {"height", 20}};
  double cpuSeconds = 0;
  for (auto _ : state) {
    double start = threadCpuSeconds();
    Json result = resolveElementRequest(platform, params);
    cpuSeconds += threadCpuSeconds() - start;
    benchmark::DoNotOptimize(result);
  }
  double iterations = static_cast<double>(state.iterations());
  state.counters["examined"] = 1200;
  state.counters["ax_round_trips_per_element"] =
      static_cast<double>(platform.counter().calls()) / iterations / 1200.0;
  state.counters["time_per_element"] = benchmark::Counter(
      1200.0 * iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["cpu_us_per_element"] = cpuSeconds * 1e6 / iterations / 1200.0;
}

BENCHMARK(BM_LoopSleep)->Arg(20)->Arg(50)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AccessibilityTreeSnapshot)
    ->Arg(0)
    ->Arg(20)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResolveElementWorstCase)
    ->Arg(0)
    ->Arg(20)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace cuh

BENCHMARK_MAIN();
