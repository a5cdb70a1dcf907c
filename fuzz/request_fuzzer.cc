// Arbitrary bytes as request lines, through the reader's line splitting and
// parsing, the dispatcher and every method, on the demo desktop with the
// virtual clock. Every answer must be one whole JSON line. One desktop
// serves the whole run: each input gets a fresh helper delegate over the
// desktop as loaded, and the desktop is reset after the input, once the
// delegate is gone. Now and then the reset desktop is compared with a
// freshly loaded one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/helper_delegate.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/json.h"
#include "protocol/request_reader.h"

namespace {

// Loop time allowed for the requests of one input (a guard lease lasts 20 s,
// clicks and launches take well under a second).
constexpr double kLoopBoundSeconds = 120;
// Inputs between two comparisons of the reset desktop with a fresh one.
constexpr uint64_t kCompareEvery = 1000;

void checkLine(std::string_view line) {
  if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1)
    std::abort();
  cuh::Json parsed = cuh::Json::parse(line.substr(0, line.size() - 1), nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const cuh::Json demo = cuh::Json::parse(cuh::sim::SimDesktop::demoSceneText());
  static const cuh::Json fresh = cuh::sim::SimDesktop::create(demo)->describe();
  static std::unique_ptr<cuh::sim::SimDesktop> desktop = cuh::sim::SimDesktop::create(demo);
  static uint64_t inputs = 0;
  cuh::HelperOptions options;
  options.inputFd = -1;
  options.output = [](std::string_view line) { checkLine(line); };
  auto delegate = cuh::HelperDelegate::create(*desktop, std::move(options));
  desktop->application().setDelegate(delegate.get());

  std::vector<std::string> lines;
  // A small cap keeps overlong lines reachable.
  cuh::LineSplitter splitter(4096);
  auto handler = [&](std::optional<std::string_view> line) {
    lines.emplace_back(line ? std::string(*line) : std::string());
  };
  splitter.feed(std::string_view(reinterpret_cast<const char*>(data), size), handler);
  splitter.finish(handler);

  bool terminated = false;
  for (const std::string& line : lines) {
    std::optional<cuh::Json> request = cuh::parseRequestLine(line);
    if (!request)
      continue;
    desktop->loop().post([&delegate, request = std::move(*request)]() mutable {
      delegate->enqueue(std::move(request));
    });
    // "close" terminates: the simulated application unwinds out of the
    // loop as its run() would see it, after the delegate cleaned up.
    try {
      desktop->loop().runUntilIdle(kLoopBoundSeconds);
    } catch (const cuh::sim::SimApplication::Terminated&) {
      terminated = true;
      break;
    }
  }
  if (!terminated)
    delegate->applicationWillTerminate();
  desktop->application().setDelegate(nullptr);
  delegate.reset();
  // Resetting here rather than before the next input frees what this input
  // left on the desktop within the input, so libFuzzer's per-input leak
  // check sees as many frees as allocations.
  desktop->reset();
  if (inputs++ % kCompareEvery == 0 && desktop->describe() != fresh)
    std::abort();
  return 0;
}
