// The trace file: the same lines as in memory, appended and flushed one by
// one.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/sim/sim_desktop.h"

namespace cuh::sim {
namespace {

using nlohmann::json;

std::vector<json> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<json> out;
  for (std::string line; std::getline(in, line);)
    out.push_back(json::parse(line));
  return out;
}

TEST(SimTraceTest, TheFileHoldsEveryLineAsSoonAsItHappens) {
  std::string path = ::testing::TempDir() + "/sim_trace_test.jsonl";
  std::remove(path.c_str());
  {
    std::ofstream earlier(path);
    earlier << "{\"kind\":\"earlier\"}\n";
  }
  DesktopOptions options;
  options.tracePath = path;
  auto desktop = SimDesktop::create(json::parse(R"({
    "apps": [{"pid": 1}],
    "windows": [{"id": 1, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 9, "height": 9},
                 "ax": {"ref": "w", "title": "\u00e9t\u00e9", "settable": ["AXTitle"]}}]})"),
                                    options);
  auto& ax = desktop->accessibility();
  (void)ax.isProcessTrusted();
  auto app = ax.createApplication(1);
  auto window = *ax.copyAttributeValue(app, "AXFocusedWindow").value->as<platform::AXElement>();
  (void)ax.setAttributeValue(window, "AXTitle", platform::Value::string("caf\xC3\xA9"));
  (void)ax.setAttributeValue(app, "AXFocusedWindow", platform::Value::string("not an element"));

  // Read while the desktop is still alive: nothing waits for a close.
  auto lines = readLines(path);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["kind"], "earlier");
  std::vector<json> expected(desktop->traceLines().begin(), desktop->traceLines().end());
  EXPECT_EQ(std::vector<json>(lines.begin() + 1, lines.end()), expected);
  EXPECT_EQ(
      lines[2],
      json::parse(R"({"kind":"set","target":"w","attribute":"AXTitle","value":"café","ok":true})"));
  EXPECT_EQ(lines[3]["ok"], false);
  EXPECT_EQ(lines[3]["target"], "app:1");
}

TEST(SimTraceTest, AnUnwritableTraceFileIsAOneLineError) {
  DesktopOptions options;
  options.tracePath = "/nonexistent-dir/trace.jsonl";
  EXPECT_THROW(SimDesktop::create(json::object(), options), SceneError);
  platform::PlatformOptions platformOptions;
  platformOptions.tracePath = "/nonexistent-dir/trace.jsonl";
  std::string error;
  EXPECT_EQ(createSimulatedPlatform(platformOptions, &error), nullptr);
  EXPECT_EQ(error.rfind(
                "computer-use-helper: cannot open the trace file /nonexistent-dir/trace.jsonl", 0),
            0u)
      << error;
}

}  // namespace
}  // namespace cuh::sim
