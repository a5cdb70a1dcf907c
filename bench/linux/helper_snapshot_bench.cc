// The helper's snapshot on the test desktop, through the backend the binary
// uses (LinuxAccessibility under the core's snapshot walk), against
// gtk3-widget-factory showing its third page (500+ rows): wall time per row
// and bus calls and waits per row, each iteration a new request (nothing
// kept from the one before). Twice: the rows' attributes read as batches,
// and each attribute by a single read.
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_helper_snapshot
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <thread>

#include "accessibility/accessibility_tree.h"
#include "platform/ax_names.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/desktop_session.h"
#include "platform/linux/linux_accessibility.h"
#include "spawn_quietly.h"
#include "windows/ax_readers.h"

namespace cuh::linux_desktop {
namespace {

struct Target {
  pid_t pid = -1;
  std::unique_ptr<DesktopSession> session;
  std::unique_ptr<LinuxAccessibility> ax;
};

// The backend with its batched read made of single reads.
class SingleReads final : public platform::Accessibility {
 public:
  explicit SingleReads(platform::Accessibility& inner) : inner_(inner) {}
  bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
  bool isProcessTrustedWithOptions(bool prompt) override {
    return inner_.isProcessTrustedWithOptions(prompt);
  }
  platform::AXElement createApplication(int32_t pid) override {
    return inner_.createApplication(pid);
  }
  platform::AXResult<platform::Value> copyAttributeValue(const platform::AXElement& element,
                                                         std::string_view attribute) override {
    return inner_.copyAttributeValue(element, attribute);
  }
  platform::AXResult<platform::AttributeSlots> copyMultipleAttributeValues(
      const platform::AXElement& element,
      std::span<const std::string_view> attributes,
      platform::CopyMultipleOptions) override {
    platform::AttributeSlots slots;
    for (std::string_view attribute : attributes)
      slots.push_back(inner_.copyAttributeValue(element, attribute));
    return {platform::AXError::success, std::move(slots)};
  }
  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override {
    return inner_.isAttributeSettable(element, attribute);
  }
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override {
    return inner_.setAttributeValue(element, attribute, value);
  }
  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override {
    return inner_.copyActionNames(element);
  }
  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override {
    return inner_.performAction(element, action);
  }
  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override {
    return inner_.copyElementAtPosition(application, x, y);
  }

 private:
  platform::Accessibility& inner_;
};

// Ends the request before and starts a new one.
void newRequest(Target& t) {
  t.session->endRequest();
  t.ax->forgetRequest();
  t.session->beginRequest();
}

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
    result->pid = bench::spawnQuietly({"gtk3-widget-factory"});
    std::string error;
    result->session = DesktopSession::open(nullptr, &error);
    if (!result->session || !result->session->atspi())
      return result;
    result->ax = std::make_unique<LinuxAccessibility>(*result->session);
    bool pressed = false;
    for (int attempt = 0; attempt < 200; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      newRequest(*result);
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

// state.range(0): 1 for batched reads, 0 for single reads.
void BM_HelperSnapshot(benchmark::State& state) {
  Target& t = target();
  if (!t.ax) {
    state.SkipWithError("no test desktop");
    return;
  }
  SingleReads single(*t.ax);
  platform::Accessibility& ax = state.range(0) ? static_cast<platform::Accessibility&>(*t.ax)
                                               : static_cast<platform::Accessibility&>(single);
  BusConnection& bus = *t.session->bus();
  size_t rows = 0;
  uint64_t calls = 0;
  uint64_t batches = 0;
  for (auto _ : state) {
    newRequest(t);  // nothing kept from the iteration before
    uint64_t calls0 = bus.callsSent();
    uint64_t batches0 = bus.batchesSent();
    platform::AXElement window = windowOf(t);
    auto frame = rect(ax, window);
    if (!window || !frame) {
      state.SkipWithError("the widget factory's window is not on the bus");
      return;
    }
    Json snapshot = snapshotRows(ax, window, *frame);
    rows = snapshot.size();
    calls = bus.callsSent() - calls0;
    batches = bus.batchesSent() - batches0;
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["calls_per_row"] = rows ? static_cast<double>(calls) / rows : 0;
  state.counters["waits_per_row"] = rows ? static_cast<double>(batches) / rows : 0;
  state.counters["ms_per_row"] = benchmark::Counter(
      static_cast<double>(rows) / 1000.0,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HelperSnapshot)
    ->ArgName("batched")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace cuh::linux_desktop

BENCHMARK_MAIN();
