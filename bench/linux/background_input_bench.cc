// Background input on the test desktop, through the helper binary against
// the fixture application while mousepad is the user's active window:
//
// - latency: a click, a key and a scroll request from writing the line to
//   reading the answer, minus the waits the protocol mandates on this
//   desktop (the press/release pause of a click, 0.02 s; the settle before
//   verification, 0.12 s; the readiness poll costs none here, the state is
//   confirmed at once); "overhead_ms" is the helper's own cost above them;
// - the foreground held by a target that activates itself: a click on the
//   fixture's "Present Tools" button makes it present its second window;
//   from the first _NET_ACTIVE_WINDOW notification naming that window to
//   the one naming the user's window again, as this process's own X
//   connection sees them; "hold_ms_median" over the iterations (20).
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_background_input
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/support/helper_process.h"
#include "spawn_quietly.h"

namespace cuh {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

using bench::spawnQuietly;

::Window activeWindow(Display* display) {
  Atom property = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  ::Window window = 0;
  if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &after, &data) == Success &&
      data && count == 1)
    window = static_cast<::Window>(*reinterpret_cast<unsigned long*>(data));
  if (data)
    XFree(data);
  return window;
}

// The fixture (the target), mousepad (the user's window) and the helper,
// started once for every benchmark.
struct Desktop {
  pid_t fixture = -1;
  pid_t mousepad = -1;
  int fixtureInput = -1;
  Display* display = nullptr;
  ::Window userWindow = 0;
  std::unique_ptr<e2e::HelperProcess> helper;
  json row;
  json elements;
  bool ready = false;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

Desktop& desktop() {
  static Desktop* d = [] {
    auto* result = new Desktop;
    const char* dir = std::getenv("CUH_DESKTOP_DIR");
    std::string log = std::string(dir ? dir : "/tmp") + "/bench-fixture.log";
    std::remove(log.c_str());
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
      return result;
    result->fixture =
        spawnQuietly({"/usr/bin/python3",
                      std::string(CUH_SOURCE_DIR) + "/tests/platform/linux/fixtures/fixture_app.py",
                      "--log", log, "--non-unique"},
                     pipeFds[0]);
    close(pipeFds[0]);
    result->fixtureInput = pipeFds[1];
    ::Window main = 0;
    waitFor(
        [&] {
          std::ifstream in(log);
          std::string line;
          while (std::getline(in, line)) {
            json entry = json::parse(line, nullptr, false);
            if (entry.is_object() && entry.value("event", "") == "ready")
              main = entry["windows"]["main"].get<::Window>();
          }
          return main != 0;
        },
        std::chrono::seconds(30));
    result->display = XOpenDisplay(nullptr);
    if (!main || !result->display)
      return result;
    ::Window before = activeWindow(result->display);
    result->mousepad = spawnQuietly({"mousepad"});
    waitFor(
        [&] {
          ::Window now = activeWindow(result->display);
          return now != 0 && now != before && now != main;
        },
        std::chrono::seconds(20));
    result->userWindow = activeWindow(result->display);
    result->helper = std::make_unique<e2e::HelperProcess>(std::vector<std::string>{});
    waitFor(
        [&] {
          auto windows = result->helper->request(
              {{"id", 1}, {"method", "list_windows"}, {"params", json::object()}});
          if (!windows)
            return false;
          for (const json& row : (*windows)["result"]["windows"]) {
            if (row["windowId"] == main)
              result->row = row;
          }
          return !result->row.is_null();
        },
        std::chrono::seconds(10));
    json observed = {{"pid", result->row["pid"]},
                     {"windowId", result->row["windowId"]},
                     {"width", result->row["width"]},
                     {"height", result->row["height"]}};
    auto tree = result->helper->request(
        {{"id", 2}, {"method", "accessibility_tree"}, {"params", observed}});
    if (tree && tree->contains("result"))
      result->elements = (*tree)["result"]["elements"];
    result->ready = !result->elements.empty();
    return result;
  }();
  return *d;
}

json observedWith(const Desktop& d, json extra) {
  json p = {{"pid", d.row["pid"]},
            {"windowId", d.row["windowId"]},
            {"width", d.row["width"]},
            {"height", d.row["height"]}};
  p.update(extra);
  return p;
}

std::pair<double, double> centre(const Desktop& d, const std::string& title) {
  for (const json& row : d.elements) {
    if (row["title"] == title) {
      return {row["x"].get<double>() + row["width"].get<double>() / 2,
              row["y"].get<double>() + row["height"].get<double>() / 2};
    }
  }
  return {1, 1};
}

void measure(benchmark::State& state, const std::string& method, json params, double floor) {
  Desktop& d = desktop();
  if (!d.ready) {
    state.SkipWithError("the test desktop's fixture or helper did not start");
    return;
  }
  double overheadMs = 0;
  int id = 10;
  for (auto _ : state) {
    auto began = Clock::now();
    auto response = d.helper->request({{"id", ++id}, {"method", method}, {"params", params}});
    double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    if (!response || !response->value("ok", false)) {
      state.SkipWithError(response ? response->dump().c_str() : "no answer");
      return;
    }
    overheadMs += (seconds - floor) * 1000.0;
  }
  state.counters["overhead_ms"] = overheadMs / static_cast<double>(state.iterations());
  state.counters["floor_ms"] = floor * 1000.0;
}

void BM_ClickLatency(benchmark::State& state) {
  auto [x, y] = centre(desktop(), "Click Area");
  measure(state, "click",
          observedWith(desktop(), {{"x", x}, {"y", y}, {"button", "left"}, {"clickCount", 1}}),
          0.02 + 0.12);
}

void BM_KeyLatency(benchmark::State& state) {
  auto [x, y] = centre(desktop(), "Click Area");
  // Shift alone: a key that changes nothing in the fixture.
  measure(state, "key",
          observedWith(desktop(),
                       {{"x", x}, {"y", y}, {"keyName", "shift"}, {"keyCode", 0x38}, {"flags", 0}}),
          0.12);
}

void BM_ScrollLatency(benchmark::State& state) {
  auto [x, y] = centre(desktop(), "Click Area");
  measure(state, "scroll", observedWith(desktop(), {{"x", x}, {"y", y}, {"dx", 0}, {"dy", 1}}),
          0.12);
}

// What the input requests' checks are made of, for comparison: a request
// that reads nothing, one that reads the window list, and one that reads
// the window list and finds the target's window on the bus (as every input
// request's validation does, twice: before and after the state is ready).
void BM_PingLatency(benchmark::State& state) {
  measure(state, "ping", json::object(), 0);
}

void BM_WindowInfoLatency(benchmark::State& state) {
  measure(state, "window_info", observedWith(desktop(), json::object()), 0);
}

void BM_ListWindowsLatency(benchmark::State& state) {
  measure(state, "list_windows", json::object(), 0);
}

// One iteration: a click presents the fixture's second window; the time
// from the first change of the active window after it to the change that
// leaves the user's window active again.
void BM_SelfActivationHold(benchmark::State& state) {
  Desktop& d = desktop();
  if (!d.ready) {
    state.SkipWithError("the test desktop's fixture or helper did not start");
    return;
  }
  Display* display = d.display;
  ::Window root = DefaultRootWindow(display);
  Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  XSelectInput(display, root, PropertyChangeMask);
  XSync(display, False);
  auto [x, y] = centre(d, "Present Tools");
  json params = observedWith(d, {{"x", x}, {"y", y}, {"button", "left"}, {"clickCount", 1}});
  std::vector<double> holds;
  int id = 100;
  for (auto _ : state) {
    while (XPending(display) > 0) {
      XEvent skipped;
      XNextEvent(display, &skipped);
    }
    d.helper->writeLine(json{{"id", ++id}, {"method", "click"}, {"params", params}}.dump());
    std::optional<Clock::time_point> taken;
    std::optional<Clock::time_point> restored;
    auto deadline = Clock::now() + std::chrono::seconds(3);
    while (!restored && Clock::now() < deadline) {
      pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
      if (XPending(display) == 0)
        poll(&descriptor, 1, 50);
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != PropertyNotify || event.xproperty.atom != active)
          continue;
        // The first change after the click is the second window taking
        // the foreground; the value is read later than the notification
        // and may already be the user's window again, so the restore is
        // the next change that leaves the user's window active.
        auto now = Clock::now();
        if (!taken)
          taken = now;
        else if (activeWindow(display) == d.userWindow)
          restored = now;
      }
    }
    d.helper->readJson();
    if (!taken || !restored) {
      state.SkipWithError("the second window did not take the foreground, or was not put back");
      return;
    }
    holds.push_back(std::chrono::duration<double, std::milli>(*restored - *taken).count());
  }
  std::sort(holds.begin(), holds.end());
  if (!holds.empty()) {
    state.counters["hold_ms_median"] = holds[holds.size() / 2];
    state.counters["hold_ms_max"] = holds.back();
  }
}

BENCHMARK(BM_ClickLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PingLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListWindowsLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowInfoLatency)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfActivationHold)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cuh

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  cuh::Desktop& d = cuh::desktop();
  if (d.helper) {
    d.helper->closeStdin();
    d.helper->waitForExit(5);
  }
  for (pid_t pid : {d.mousepad, d.fixture}) {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  return 0;
}
