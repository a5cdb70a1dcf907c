// Round trips on the accessibility bus, measured on the test desktop
// against gtk3-widget-factory: the same reads of every object under its
// window (name, role, states, screen extents) made one call at a time, as
// one pipelined batch, and the application's object cache in one call.
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_bus_round_trip
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "platform/linux/accessibility_bus.h"
#include "platform/linux/atspi_client.h"

extern char** environ;

namespace cuh::linux_desktop {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

struct Target {
  pid_t pid = -1;
  std::unique_ptr<BusConnection> bus;
  std::unique_ptr<AtspiClient> client;
  AccessibleRef application;
  std::vector<AccessibleRef> objects;  // every object under the window
};

Target& target() {
  static Target* t = [] {
    auto* result = new Target;
    char program[] = "gtk3-widget-factory";
    char* argv[] = {program, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&result->pid, program, &actions, nullptr, argv, environ) != 0)
      result->pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    auto address = findAccessibilityBus(nullptr, std::chrono::seconds(1));
    if (!address)
      return result;
    result->bus = BusConnection::open(address->address, nullptr);
    if (!result->bus)
      return result;
    result->client = std::make_unique<AtspiClient>(*result->bus);
    result->client->registerWithRegistry();
    // Wait until the window is on the bus with its widgets.
    for (int attempt = 0; attempt < 200 && result->objects.size() < 100; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      result->objects.clear();
      for (const AccessibleRef& app : result->client->applications()) {
        if (result->client->processIdOf(app.bus) != result->pid)
          continue;
        result->application = app;
        std::function<void(const AccessibleRef&)> walk = [&](const AccessibleRef& object) {
          for (const AccessibleRef& child :
               result->client->children(object).value_or(std::vector<AccessibleRef>{})) {
            result->objects.push_back(child);
            walk(child);
          }
        };
        walk(app);
      }
    }
    std::atexit([] {
      if (target().pid > 0) {
        kill(target().pid, SIGTERM);
        waitpid(target().pid, nullptr, 0);
      }
    });
    return result;
  }();
  return *t;
}

std::vector<BusCall> readsOf(const std::vector<AccessibleRef>& objects) {
  std::vector<BusCall> calls;
  for (const AccessibleRef& object : objects) {
    calls.push_back(AtspiClient::getProperty(object, kAccessible, "Name"));
    calls.push_back(AtspiClient::method(object, kAccessible, "GetRole"));
    calls.push_back(AtspiClient::method(object, kAccessible, "GetState"));
    calls.push_back(AtspiClient::getExtents(object, CoordType::screen));
  }
  return calls;
}

// Wall time per row is the Time column divided by "rows".
void report(benchmark::State& state, const Target& t, uint64_t calls, uint64_t batches) {
  double rows = static_cast<double>(t.objects.size());
  state.counters["rows"] = rows;
  state.counters["calls_per_row"] = static_cast<double>(calls) / rows;
  state.counters["round_trips_per_row"] = static_cast<double>(batches) / rows;
}

void BM_SingleCalls(benchmark::State& state) {
  Target& t = target();
  if (!t.client || t.objects.empty()) {
    state.SkipWithError("gtk3-widget-factory is not on the accessibility bus");
    return;
  }
  std::vector<BusCall> calls = readsOf(t.objects);
  uint64_t sent = 0, batches = 0;
  for (auto _ : state) {
    t.client->beginRequest();
    uint64_t before = t.bus->callsSent(), batchesBefore = t.bus->batchesSent();
    for (const BusCall& call : calls)
      benchmark::DoNotOptimize(t.client->call(call));
    sent = t.bus->callsSent() - before;
    batches = t.bus->batchesSent() - batchesBefore;
  }
  report(state, t, sent, batches);
}

void BM_PipelinedBatch(benchmark::State& state) {
  Target& t = target();
  if (!t.client || t.objects.empty()) {
    state.SkipWithError("gtk3-widget-factory is not on the accessibility bus");
    return;
  }
  std::vector<BusCall> calls = readsOf(t.objects);
  uint64_t sent = 0, batches = 0;
  for (auto _ : state) {
    t.client->beginRequest();
    uint64_t before = t.bus->callsSent(), batchesBefore = t.bus->batchesSent();
    benchmark::DoNotOptimize(t.client->callAll(calls));
    sent = t.bus->callsSent() - before;
    batches = t.bus->batchesSent() - batchesBefore;
  }
  report(state, t, sent, batches);
}

// The cache (names, roles, states, parents of every object) in one call,
// then extents pipelined: what a snapshot needs of each row.
void BM_CacheThenExtents(benchmark::State& state) {
  Target& t = target();
  if (!t.client || t.objects.empty()) {
    state.SkipWithError("gtk3-widget-factory is not on the accessibility bus");
    return;
  }
  std::vector<BusCall> extents;
  for (const AccessibleRef& object : t.objects)
    extents.push_back(AtspiClient::getExtents(object, CoordType::screen));
  uint64_t sent = 0, batches = 0;
  size_t cached = 0;
  for (auto _ : state) {
    t.client->beginRequest();
    uint64_t before = t.bus->callsSent(), batchesBefore = t.bus->batchesSent();
    auto items = t.client->cacheItems(t.application.bus);
    cached = items ? items->size() : 0;
    benchmark::DoNotOptimize(t.client->callAll(extents));
    sent = t.bus->callsSent() - before;
    batches = t.bus->batchesSent() - batchesBefore;
  }
  report(state, t, sent, batches);
  state.counters["cached_objects"] = static_cast<double>(cached);
}

BENCHMARK(BM_SingleCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelinedBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheThenExtents)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cuh::linux_desktop

BENCHMARK_MAIN();
