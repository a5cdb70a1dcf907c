// The helper's snapshot on the test desktop, through the backend the binary
// uses (LinuxAccessibility under the core's snapshot walk), against
// gtk3-widget-factory showing its third page (500+ rows): wall time per row
// and bus calls and waits per row, each iteration a new request (nothing
// kept from the one before).
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_helper_snapshot
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <thread>

#include "accessibility/accessibility_tree.h"
#include "platform/ax_names.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/desktop_session.h"
#include "platform/linux/linux_accessibility.h"
#include "windows/ax_readers.h"

extern char** environ;

namespace cuh::linux_desktop {
namespace {

struct Target {
  pid_t pid = -1;
  std::unique_ptr<DesktopSession> session;
  std::unique_ptr<LinuxAccessibility> ax;
};

// Presses the stack switcher's button of a page, as a user's click does;
// true once pressed.
bool pressPage(AtspiClient& client, const AccessibleRef& object, const char* name, int depth) {
  if (depth > 20)
    return false;
  if (client.role(object) == static_cast<uint32_t>(BusRole::radioButton) &&
      client.name(object) == name) {
    BusCall press{object.bus, object.path, "org.a11y.atspi.Action", "DoAction",
                  [](sd_bus_message* m) { return sd_bus_message_append(m, "i", 0); }};
    return client.call(press).ok();
  }
  for (const AccessibleRef& child : client.children(object).value_or(std::vector<AccessibleRef>{}))
    if (pressPage(client, child, name, depth + 1))
      return true;
  return false;
}

platform::AXElement windowOf(Target& t) {
  auto application = t.ax->createApplication(t.pid);
  auto windows = elementList(*t.ax, application, ax::kWindowsAttribute);
  return windows.empty() ? platform::AXElement() : windows.front();
}

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
    std::string error;
    result->session = DesktopSession::open(nullptr, &error);
    if (!result->session || !result->session->atspi())
      return result;
    result->ax = std::make_unique<LinuxAccessibility>(*result->session);
    bool pressed = false;
    for (int attempt = 0; attempt < 200; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      result->session->responseWritten();
      platform::AXElement window = windowOf(*result);
      if (!window)
        continue;
      if (!pressed) {
        auto* element = dynamic_cast<const BusElement*>(window.object());
        pressed = pressPage(*result->session->atspi(), element->ref(), "Page 3", 0);
        continue;
      }
      auto frame = rect(*result->ax, window);
      if (frame && snapshotRows(*result->ax, window, *frame).size() >= 500)
        break;
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

void BM_HelperSnapshot(benchmark::State& state) {
  Target& t = target();
  if (!t.ax) {
    state.SkipWithError("no test desktop");
    return;
  }
  BusConnection& bus = *t.session->bus();
  size_t rows = 0;
  uint64_t calls = 0;
  uint64_t batches = 0;
  for (auto _ : state) {
    t.session->responseWritten();  // a new request: nothing kept
    uint64_t calls0 = bus.callsSent();
    uint64_t batches0 = bus.batchesSent();
    platform::AXElement window = windowOf(t);
    auto frame = rect(*t.ax, window);
    if (!window || !frame) {
      state.SkipWithError("the widget factory's window is not on the bus");
      return;
    }
    Json snapshot = snapshotRows(*t.ax, window, *frame);
    rows = snapshot.size();
    calls = bus.callsSent() - calls0;
    batches = bus.batchesSent() - batches0;
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["calls_per_row"] = rows ? static_cast<double>(calls) / rows : 0;
  state.counters["batches_per_row"] = rows ? static_cast<double>(batches) / rows : 0;
  state.counters["ms_per_row"] = benchmark::Counter(
      static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate |
                                     benchmark::Counter::kInvert);
}
BENCHMARK(BM_HelperSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace cuh::linux_desktop

BENCHMARK_MAIN();
