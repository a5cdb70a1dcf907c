// The ways a run can end while work is in flight, through the real binary:
// end of input, a dead parent, a termination signal, a parent that stopped
// reading. Each time the borrowed focus state is given back before the
// helper exits with status 0; the trace shows what reached the desktop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/support/checked_helper.h"

namespace cuh::e2e {
namespace {

using nlohmann::json;

json notesRequest(int id, const std::string& method, json params = json::object()) {
  params["pid"] = 502;
  params["windowId"] = 201;
  params["width"] = 900;
  params["height"] = 640;
  return {{"id", id}, {"method", method}, {"params", params}};
}

json clickRequest(int id) {
  return notesRequest(id, "click", {{"x", 400}, {"y", 22}, {"button", "left"}, {"clickCount", 1}});
}

// A short-lived process standing in for the parent: a `sleep` child.
class SleepingParent {
 public:
  SleepingParent() {
    pid_ = fork();
    if (pid_ == 0) {
      execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~SleepingParent() { end(); }
  void end() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

struct FaultRun {
  std::string tracePath;
  std::unique_ptr<SleepingParent> parent;
  std::unique_ptr<CheckedHelper> helper;
};

struct FaultCase {
  const char* name;
  // Drives the helper into the fault; the helper is expected to end on its own.
  std::function<void(FaultRun&)> provoke;
  // Whether a click certainly reached the target before the end.
  bool clickDelivered;
};

std::vector<json> traceLines(const std::string& path) {
  std::vector<json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    json entry = json::parse(line, nullptr, false);
    EXPECT_FALSE(entry.is_discarded()) << "torn trace line: " << line;
    if (!entry.is_discarded())
      lines.push_back(entry);
  }
  return lines;
}

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, TheBorrowedFocusStateIsGivenBackAndTheHelperExitsCleanly) {
  const FaultCase& fault = GetParam();
  FaultRun run;
  run.tracePath =
      ::testing::TempDir() + "faults-" + std::to_string(getpid()) + "-" + fault.name + ".trace";
  std::remove(run.tracePath.c_str());
  // A copy of the demo desktop in a temporary file.
  std::string scenePath = ::testing::TempDir() + "faults-" + std::to_string(getpid()) + ".json";
  {
    std::ifstream demo(sourcePath("scenes/demo.json"));
    std::stringstream text;
    text << demo.rdbuf();
    ASSERT_FALSE(text.str().empty());
    std::ofstream(scenePath) << text.str();
  }
  run.parent = std::make_unique<SleepingParent>();
  ASSERT_GT(run.parent->pid(), 0);
  run.helper = std::make_unique<CheckedHelper>(
      std::vector<std::string>{"--scene", scenePath, "--trace", run.tracePath, "--parent-pid",
                               std::to_string(run.parent->pid())});

  fault.provoke(run);

  EXPECT_EQ(run.helper->waitForExit(10), 0);
  EXPECT_EQ(run.helper->stderrText(), "");

  std::vector<json> trace = traceLines(run.tracePath);
  int created = 0;
  int removed = 0;
  std::vector<json> posts;
  for (const json& entry : trace) {
    if (entry["kind"] == "tapCreated")
      ++created;
    else if (entry["kind"] == "tapRemoved")
      ++removed;
    else if (entry["kind"] == "post")
      posts.push_back(entry);
  }
  EXPECT_EQ(created, removed);
  if (fault.clickDelivered) {
    ASSERT_FALSE(posts.empty());
  }
  // Whatever of a click reached Notes ends by deactivating it again (the
  // foreground, Terminal, never changed).
  if (!posts.empty()) {
    EXPECT_EQ(posts.back()["event"]["type"], 13) << posts.back().dump();
    EXPECT_EQ(posts.back()["event"]["subtype"], 2) << posts.back().dump();
    for (const json& post : posts)
      EXPECT_EQ(post["pid"], 502) << post.dump();
  }
  std::remove(run.tracePath.c_str());
  std::remove(scenePath.c_str());
}

const FaultCase kFaults[] = {
    {"StdinClosedDuringAClick",
     [](FaultRun& run) {
       ASSERT_TRUE(run.helper->writeLine(clickRequest(1).dump()));
       run.helper->closeStdin();
       // The click still in flight at the end of input is answered first.
       std::optional<json> answer = run.helper->readJson();
       ASSERT_TRUE(answer.has_value());
       EXPECT_EQ((*answer)["id"], 1);
       EXPECT_EQ((*answer)["ok"], true) << answer->dump();
       EXPECT_EQ(run.helper->readToEnd(), "");
     },
     true},
    {"ParentKilledDuringALease",
     [](FaultRun& run) {
       std::optional<json> begin = run.helper->request(notesRequest(1, "begin_guard"));
       ASSERT_TRUE(begin.has_value());
       ASSERT_EQ((*begin)["ok"], true) << begin->dump();
       run.parent->end();
     },
     false},
    {"TerminatedDuringAClick",
     [](FaultRun& run) {
       // Ready first: a signal before main() installs its handling would end
       // the process by the default action.
       ASSERT_TRUE(run.helper->request(json({{"id", 0}, {"method", "ping"}})).has_value());
       ASSERT_TRUE(run.helper->writeLine(clickRequest(1).dump()));
       run.helper->signal(SIGTERM);
     },
     false},
    {"TerminatedDuringALease",
     [](FaultRun& run) {
       std::optional<json> begin = run.helper->request(notesRequest(1, "begin_guard"));
       ASSERT_TRUE(begin.has_value());
       ASSERT_EQ((*begin)["ok"], true) << begin->dump();
       run.helper->signal(SIGTERM);
     },
     false},
    {"StdoutClosedByTheParent",
     [](FaultRun& run) {
       run.helper->closeStdout();
       ASSERT_TRUE(run.helper->writeLine(clickRequest(1).dump()));
       for (int id = 2; id < 50; ++id)
         ASSERT_TRUE(run.helper->writeLine(json({{"id", id}, {"method", "ping"}}).dump()));
       ASSERT_TRUE(run.helper->writeLine(notesRequest(50, "begin_guard").dump()));
       run.helper->closeStdin();
     },
     true},
};

INSTANTIATE_TEST_SUITE_P(Ends,
                         Faults,
                         ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace cuh::e2e
