// "list_windows" on an in-process simulated desktop: 400 windows of 40
// applications, with accessibility answering at once or after 50 us per call
// (the cross-process round trip of the real API). Reports the time per
// listing and the accessibility calls one listing makes.
#include <benchmark/benchmark.h>

#include <memory>

#include "platform/sim/sim_desktop.h"
#include "windows/counting_platform.h"
#include "windows/window_list.h"

namespace {

using nlohmann::json;

constexpr int kApplications = 40;
constexpr int kWindowsPerApplication = 10;

json generatedScene(int axLatencyUs) {
  json apps = json::array();
  json windows = json::array();
  for (int a = 0; a < kApplications; ++a) {
    int pid = 1000 + a;
    apps.push_back({{"pid", pid},
                    {"name", "App " + std::to_string(a)},
                    {"bundleId", "com.example.app" + std::to_string(a)}});
  }
  // Interleaved front to back, as a busy desktop stacks them.
  for (int w = 0; w < kWindowsPerApplication; ++w) {
    for (int a = 0; a < kApplications; ++a) {
      int id = 1 + w * kApplications + a;
      windows.push_back(
          {{"id", id},
           {"pid", 1000 + a},
           {"title", "Document " + std::to_string(w)},
           {"bounds", {{"x", 20 * w}, {"y", 10 * a}, {"width", 800 + w}, {"height", 600 + a}}},
           {"ax", json::object()}});
    }
  }
  return json{
      {"frontmost", 1000}, {"axLatencyUs", axLatencyUs}, {"apps", apps}, {"windows", windows}};
}

void BM_ListWindows(benchmark::State& state) {
  int latency = static_cast<int>(state.range(0));
  // The latency sleeps through the main loop's sleep, which takes no real
  // time on a virtual clock: with latency, run on the real clock.
  auto desktop = cuh::sim::SimDesktop::create(generatedScene(latency),
                                              cuh::sim::DesktopOptions{latency == 0, {}});
  cuh::testing::CountingPlatform platform(*desktop);
  size_t rows = 0;
  for (auto _ : state) {
    cuh::Json windows = cuh::listWindows(platform);
    rows = windows.size();
    benchmark::DoNotOptimize(windows);
  }
  auto& counter = platform.counter();
  double listings = static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["axCallsPerListing"] = static_cast<double>(counter.calls) / listings;
  state.counters["focusedQueriesPerApp"] =
      static_cast<double>(counter.readsOf("AXFocusedWindow")) / listings / kApplications;
}
BENCHMARK(BM_ListWindows)->Arg(0)->Arg(50)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
