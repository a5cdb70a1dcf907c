// The request loop through the real binary and its pipes: round-trip
// latency against a bare line-echo program (the floor), burst throughput,
// start-up time and idle memory. Each benchmark runs its measurement once
// and reports the figures as counters.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/support/helper_process.h"

namespace {

using cuh::e2e::ChildProcess;
using cuh::e2e::HelperProcess;
using cuh::e2e::steadySeconds;

constexpr int kRoundTrips = 10000;
constexpr int kBurst = 100000;
const std::string kPing = R"({"id":1,"method":"ping"})";

struct Latency {
  double medianUs;
  double p99Us;
};

// Sends one line and waits for one line back, `count` times.
Latency roundTrips(ChildProcess& process, int count) {
  for (int i = 0; i < 200; ++i) {  // warm-up
    process.writeLine(kPing);
    process.readLine();
  }
  std::vector<double> samples;
  samples.reserve(count);
  for (int i = 0; i < count; ++i) {
    double start = steadySeconds();
    process.writeLine(kPing);
    if (!process.readLine())
      return {-1, -1};
    samples.push_back((steadySeconds() - start) * 1e6);
  }
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

void BM_PingRoundTrip(benchmark::State& state) {
  for (auto _ : state) {
    HelperProcess helper;
    Latency helperLatency = roundTrips(helper, kRoundTrips);
    ChildProcess echo(CUH_LINE_ECHO_BINARY, {});
    Latency echoLatency = roundTrips(echo, kRoundTrips);
    state.counters["helper_median_us"] = helperLatency.medianUs;
    state.counters["helper_p99_us"] = helperLatency.p99Us;
    state.counters["echo_median_us"] = echoLatency.medianUs;
    state.counters["echo_p99_us"] = echoLatency.p99Us;
    state.counters["median_ratio"] = helperLatency.medianUs / echoLatency.medianUs;
    state.counters["p99_ratio"] = helperLatency.p99Us / echoLatency.p99Us;
  }
}
BENCHMARK(BM_PingRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PingBurstThroughput(benchmark::State& state) {
  std::string burst;
  for (int i = 0; i < kBurst; ++i) {
    burst += R"({"id":)" + std::to_string(i) + R"(,"method":"ping"})" + "\n";
  }
  for (auto _ : state) {
    HelperProcess helper;
    helper.writeLine(kPing);
    helper.readLine();  // serving
    double start = steadySeconds();
    helper.write(burst);
    int answered = 0;
    while (answered < kBurst && helper.readLine(30))
      ++answered;
    double seconds = steadySeconds() - start;
    state.counters["responses"] = answered;
    state.counters["responses_per_s"] = answered / seconds;
  }
}
BENCHMARK(BM_PingBurstThroughput)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident memory of a process in KiB, from /proc.
double residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kib;
      status >> kib;
      return kib;
    }
    status.ignore(4096, '\n');
  }
  return -1;
}

void BM_StartupAndIdle(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<double> starts;
    double rss = 0;
    for (int i = 0; i < 20; ++i) {
      double start = steadySeconds();
      HelperProcess helper;
      helper.writeLine(kPing);
      helper.readLine();
      starts.push_back((steadySeconds() - start) * 1e3);
      if (i == 0) {
        usleep(200 * 1000);  // settle, then idle
        rss = residentKiB(helper.pid());
      }
    }
    std::sort(starts.begin(), starts.end());
    state.counters["first_answer_median_ms"] = starts[starts.size() / 2];
    state.counters["first_answer_max_ms"] = starts.back();
    state.counters["idle_rss_kib"] = rss;
  }
}
BENCHMARK(BM_StartupAndIdle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
