// Round trips on the accessibility bus, measured on the test desktop
// against gtk3-widget-factory showing its third page (500+ objects under
// its window; the other pages have fewer, and a page's objects exist only
// while it is shown): the same reads of every object made one call at a
// time, as one pipelined batch, and from the application's object cache in
// one call with the rest pipelined. Two read sets: four reads per object
// (name, role, states, screen extents), and everything a snapshot row
// needs on this desktop.
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_bus_round_trip
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "platform/linux/accessibility_bus.h"
#include "platform/linux/atspi_client.h"
#include "platform/linux/atspi_mapping.h"
#include "spawn_quietly.h"

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

// A snapshot's walk: pre-order, the first 100 children of each object,
// children read down to depth 13, at most 600 rows.
void walk(AtspiClient& client,
          const AccessibleRef& object,
          int depth,
          std::vector<AccessibleRef>& rows) {
  if (rows.size() >= 600)
    return;
  rows.push_back(object);
  if (depth > 13)
    return;
  auto children = client.children(object).value_or(std::vector<AccessibleRef>{});
  if (children.size() > 100)
    children.resize(100);
  for (const AccessibleRef& child : children)
    walk(client, child, depth + 1, rows);
}

// Presses the stack switcher's button of a page (what a user's click does).
bool pressPageButton(AtspiClient& client,
                     const std::vector<AccessibleRef>& objects,
                     const char* name) {
  for (const AccessibleRef& object : objects) {
    if (client.role(object) != static_cast<uint32_t>(BusRole::radioButton) ||
        client.name(object) != name)
      continue;
    BusCall press{object.bus, object.path, "org.a11y.atspi.Action", "DoAction",
                  [](sd_bus_message* m) { return sd_bus_message_append(m, "i", 0); }};
    return client.call(press).ok();
  }
  return false;
}

Target& target() {
  static Target* t = [] {
    auto* result = new Target;
    result->pid = bench::spawnQuietly({"gtk3-widget-factory"});
    auto address = findAccessibilityBus(nullptr, std::chrono::seconds(1));
    if (!address)
      return result;
    result->bus = BusConnection::open(address->address, nullptr);
    if (!result->bus)
      return result;
    result->client = std::make_unique<AtspiClient>(*result->bus);
    result->client->registerWithRegistry();
    // Wait until the window is on the bus with its widgets, show the
    // third page, and wait until its objects are there.
    bool pressed = false;
    for (int attempt = 0; attempt < 200 && result->objects.size() < 500; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      result->objects.clear();
      for (const AccessibleRef& app : result->client->applications()) {
        if (result->client->processIdOf(app.bus) != result->pid)
          continue;
        result->application = app;
        auto windows = result->client->children(app);
        if (windows && !windows->empty())
          walk(*result->client, windows->front(), 0, result->objects);
      }
      if (!pressed)
        pressed = pressPageButton(*result->client, result->objects, "Page 3");
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

// Everything a snapshot row needs of an object on this desktop, besides
// what the cache holds (name, description, role, states, interfaces, the
// parent and child count): screen extents, the accessible id, the object
// attributes (placeholder text), the children, and by interface the action
// names and the value (text, or the value interface's number; never a
// password's text).
void appendRowReads(const AccessibleRef& object,
                    uint32_t role,
                    const std::vector<std::string>& interfaces,
                    std::vector<BusCall>& calls) {
  auto has = [&](const char* name) {
    return std::find(interfaces.begin(), interfaces.end(), name) != interfaces.end();
  };
  calls.push_back(AtspiClient::getExtents(object, CoordType::screen));
  calls.push_back(AtspiClient::getProperty(object, kAccessible, "AccessibleId"));
  calls.push_back(AtspiClient::method(object, kAccessible, "GetAttributes"));
  calls.push_back(AtspiClient::method(object, kAccessible, "GetChildren"));
  if (has("org.a11y.atspi.Action"))
    calls.push_back(AtspiClient::method(object, "org.a11y.atspi.Action", "GetActions"));
  if (has("org.a11y.atspi.Text") && role != static_cast<uint32_t>(BusRole::passwordText)) {
    calls.push_back(
        BusCall{object.bus, object.path, "org.a11y.atspi.Text", "GetText",
                [](sd_bus_message* m) { return sd_bus_message_append(m, "ii", 0, -1); }});
  } else if (has("org.a11y.atspi.Value")) {
    calls.push_back(AtspiClient::getProperty(object, "org.a11y.atspi.Value", "CurrentValue"));
  }
}

// One call at a time, as libatspi makes them: the cached facts read singly
// too (name, description, role, states, interfaces), then the row's reads.
void BM_FullRowsSingleCalls(benchmark::State& state) {
  Target& t = target();
  if (!t.client || t.objects.size() < 500) {
    state.SkipWithError("gtk3-widget-factory's third page is not on the accessibility bus");
    return;
  }
  uint64_t sent = 0, batches = 0;
  for (auto _ : state) {
    t.client->beginRequest();
    uint64_t before = t.bus->callsSent(), batchesBefore = t.bus->batchesSent();
    for (const AccessibleRef& object : t.objects) {
      benchmark::DoNotOptimize(t.client->name(object));
      benchmark::DoNotOptimize(
          t.client->call(AtspiClient::getProperty(object, kAccessible, "Description")));
      uint32_t role = t.client->role(object).value_or(0);
      benchmark::DoNotOptimize(t.client->states(object));
      auto interfaces = AtspiClient::readStrings(
          t.client->call(AtspiClient::method(object, kAccessible, "GetInterfaces")));
      std::vector<BusCall> calls;
      appendRowReads(object, role, interfaces.value_or(std::vector<std::string>{}), calls);
      for (const BusCall& call : calls)
        benchmark::DoNotOptimize(t.client->call(call));
    }
    sent = t.bus->callsSent() - before;
    batches = t.bus->batchesSent() - batchesBefore;
  }
  report(state, t, sent, batches);
}

// The cache in one call, then every row's remaining reads in one
// pipelined batch.
void BM_FullRowsCacheThenPipelined(benchmark::State& state) {
  Target& t = target();
  if (!t.client || t.objects.size() < 500) {
    state.SkipWithError("gtk3-widget-factory's third page is not on the accessibility bus");
    return;
  }
  uint64_t sent = 0, batches = 0;
  size_t uncached = 0;
  for (auto _ : state) {
    t.client->beginRequest();
    uint64_t before = t.bus->callsSent(), batchesBefore = t.bus->batchesSent();
    auto items = t.client->cacheItems(t.application.bus).value_or(std::vector<CacheItem>{});
    std::map<std::string, const CacheItem*, std::less<>> byPath;
    for (const CacheItem& item : items)
      byPath[item.object.path] = &item;
    std::vector<BusCall> calls;
    std::vector<AccessibleRef> missing;
    for (const AccessibleRef& object : t.objects) {
      auto found = byPath.find(object.path);
      if (found == byPath.end()) {
        missing.push_back(object);
        continue;
      }
      appendRowReads(object, found->second->role, found->second->interfaces, calls);
    }
    // Objects the cache does not hold: their facts read in the same batch
    // (interfaces decide nothing here: the row's reads assume all).
    for (const AccessibleRef& object : missing) {
      calls.push_back(AtspiClient::getProperty(object, kAccessible, "Name"));
      calls.push_back(AtspiClient::getProperty(object, kAccessible, "Description"));
      calls.push_back(AtspiClient::method(object, kAccessible, "GetRole"));
      calls.push_back(AtspiClient::method(object, kAccessible, "GetState"));
      calls.push_back(AtspiClient::method(object, kAccessible, "GetInterfaces"));
      appendRowReads(object, 0, {}, calls);
    }
    benchmark::DoNotOptimize(t.client->callAll(calls));
    uncached = missing.size();
    sent = t.bus->callsSent() - before;
    batches = t.bus->batchesSent() - batchesBefore;
  }
  report(state, t, sent, batches);
  state.counters["uncached_objects"] = static_cast<double>(uncached);
}

BENCHMARK(BM_SingleCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipelinedBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheThenExtents)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRowsSingleCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRowsCacheThenPipelined)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cuh::linux_desktop

BENCHMARK_MAIN();
