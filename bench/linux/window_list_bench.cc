// The window list on the test desktop with 20 managed windows: the X
// reads behind one listing (the stacking list, the popups, every window's
// properties), and the same reads made one window at a time.
//
//   scripts/desktop-session.sh build/bench/cuh_bench_linux_window_list
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

constexpr int kWindows = 20;

// 20 top-level windows of this process, as an application maps them: a
// title, a class, a pid; openbox manages and decorates them.
struct Desktop {
  std::unique_ptr<XConnection> owner;   // keeps the windows alive
  std::unique_ptr<XConnection> reader;  // what the listing reads with
  bool ready = false;
};

Desktop& desktop() {
  static Desktop* d = [] {
    auto* result = new Desktop;
    std::string error;
    result->owner = XConnection::open(nullptr, &error);
    result->reader = XConnection::open(nullptr, &error);
    if (!result->owner || !result->reader)
      return result;
    Display* display = result->owner->display();
    long pid = getpid();
    for (int i = 0; i < kWindows; ++i) {
      ::Window window = XCreateSimpleWindow(display, result->owner->root(), 20 + 10 * i,
                                            20 + 10 * i, 300, 200, 0, 0, 0xffffff);
      std::string title = "Window " + std::to_string(i + 1);
      XStoreName(display, window, title.c_str());
      XChangeProperty(display, window, result->owner->atom("_NET_WM_NAME"),
                      result->owner->atom("UTF8_STRING"), 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(title.data()),
                      static_cast<int>(title.size()));
      XChangeProperty(display, window, result->owner->atom("_NET_WM_PID"), XA_CARDINAL, 32,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
      XClassHint hint{const_cast<char*>("bench-window"), const_cast<char*>("BenchWindow")};
      XSetClassHint(display, window, &hint);
      XMapWindow(display, window);
    }
    result->owner->sync();
    XWindowReader reader(*result->reader);
    for (int attempt = 0; attempt < 500 && !result->ready; ++attempt) {
      int ours = 0;
      for (const XWindowFacts& facts : reader.windowList())
        ours += facts.pid == pid && facts.frameExtents.top > 0;
      result->ready = ours == kWindows;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return result;
  }();
  return *d;
}

void BM_WindowList(benchmark::State& state) {
  Desktop& d = desktop();
  if (!d.ready) {
    state.SkipWithError("the test desktop did not manage the 20 windows");
    return;
  }
  XWindowReader reader(*d.reader);
  size_t rows = 0;
  for (auto _ : state) {
    std::vector<XWindowFacts> list = reader.windowList();
    rows = list.size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["rows"] = static_cast<double>(rows);
}

// The same windows read one at a time (each read waits for its replies
// before the next window is asked).
void BM_WindowsReadOneAtATime(benchmark::State& state) {
  Desktop& d = desktop();
  if (!d.ready) {
    state.SkipWithError("the test desktop did not manage the 20 windows");
    return;
  }
  XWindowReader reader(*d.reader);
  size_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    for (::Window window : reader.clientListStacking())
      rows += reader.read(window).has_value();
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = static_cast<double>(rows);
}

BENCHMARK(BM_WindowList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowsReadOneAtATime)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cuh::linux_desktop

BENCHMARK_MAIN();
