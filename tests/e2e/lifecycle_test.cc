// How the helper process starts and ends, through the real binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "e2e/support/checked_helper.h"

namespace cuh::e2e {
namespace {

const std::string kPing1 = R"({"id":1,"ok":true,"result":{"ready":true}})";

TEST(Lifecycle, EndOfInputAnswersEverythingReadThenExits) {
  CheckedHelper helper;
  // The last line has no line feed.
  ASSERT_TRUE(helper.write("{\"id\":1,\"method\":\"ping\"}\n{\"id\":2,\"method\":\"ping\"}"));
  helper.closeStdin();
  EXPECT_EQ(helper.readToEnd(),
            kPing1 + "\n" + R"({"id":2,"ok":true,"result":{"ready":true}})" + "\n");
  EXPECT_EQ(helper.waitForExit(), 0);
  EXPECT_EQ(helper.stderrText(), "");
}

TEST(Lifecycle, CloseAnswersAndExitsLeavingLaterRequestsUnanswered) {
  CheckedHelper helper;
  ASSERT_TRUE(
      helper.write("{\"id\":1,\"method\":\"ping\"}\n{\"id\":2,\"method\":\"close\"}\n"
                   "{\"id\":3,\"method\":\"ping\"}\n"));
  EXPECT_EQ(helper.readToEnd(),
            kPing1 + "\n" + R"({"id":2,"ok":true,"result":{"closed":true}})" + "\n");
  EXPECT_EQ(helper.waitForExit(), 0);
  EXPECT_EQ(helper.stderrText(), "");
}

TEST(Lifecycle, TerminationSignalsEndTheHelperCleanly) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    CheckedHelper helper;
    ASSERT_TRUE(helper.writeLine(R"({"id":1,"method":"ping"})"));
    ASSERT_EQ(helper.readLine(), kPing1) << number;
    helper.signal(number);
    EXPECT_EQ(helper.waitForExit(), 0) << number;
    EXPECT_EQ(helper.readToEnd(), "") << number;
    EXPECT_EQ(helper.stderrText(), "") << number;
  }
}

TEST(Lifecycle, AParentThatStopsReadingDoesNotKillTheHelper) {
  CheckedHelper helper;
  helper.closeStdout();
  for (int i = 0; i < 100; ++i)
    ASSERT_TRUE(helper.writeLine(R"({"id":1,"method":"ping"})"));
  ASSERT_TRUE(helper.writeLine("not json"));
  helper.closeStdin();
  EXPECT_EQ(helper.waitForExit(), 0);  // not 128 + SIGPIPE
  EXPECT_EQ(helper.stderrText(), "");
}

// A process that lives until killed, standing in for the parent.
class StandInParent {
 public:
  StandInParent() {
    pid_ = fork();
    if (pid_ == 0) {
      for (;;)
        pause();
    }
  }
  ~StandInParent() { end(); }
  void end() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);  // reaped, so kill(pid, 0) fails
      pid_ = -1;
    }
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

TEST(Lifecycle, TheHelperEndsWithinAboutASecondOfItsParent) {
  StandInParent parent;
  CheckedHelper helper(
      {"--scene", sourcePath("scenes/demo.json"), "--parent-pid", std::to_string(parent.pid())});
  ASSERT_TRUE(helper.writeLine(R"({"id":1,"method":"ping"})"));
  ASSERT_EQ(helper.readLine(), kPing1);
  parent.end();
  double ended = steadySeconds();
  EXPECT_EQ(helper.waitForExit(5), 0);
  // One timer period, with room for a loaded machine.
  EXPECT_LT(steadySeconds() - ended, 2.5);
}

TEST(Lifecycle, AnUnusableParentPidDisablesTheWatch) {
  StandInParent parent;
  std::string pid = std::to_string(parent.pid());
  CheckedHelper helper({"--scene", sourcePath("scenes/demo.json"), "--parent-pid=" + pid,
                        "--parent-pid", pid + "x"});
  parent.end();
  // Two timer periods later the helper still answers.
  usleep(2200 * 1000);
  ASSERT_TRUE(helper.writeLine(R"({"id":1,"method":"ping"})"));
  EXPECT_EQ(helper.readLine(), kPing1);
  helper.closeStdin();
  EXPECT_EQ(helper.waitForExit(), 0);
}

TEST(Lifecycle, ABadSceneEndsTheHelperWithStatusTwoAndOneLine) {
  std::string invalid = testing::TempDir() + "cuh_bad_scene.json";
  std::ofstream(invalid) << R"({"apps":[{"pid":"not a pid"}]})";
  std::string malformed = testing::TempDir() + "cuh_malformed_scene.json";
  std::ofstream(malformed) << "{";
  for (const std::string& path : {invalid, malformed, std::string("/nonexistent/scene.json")}) {
    CheckedHelper helper({"--scene", path, "--parent-pid", "1"});
    EXPECT_EQ(helper.waitForExit(), 2) << path;
    EXPECT_EQ(helper.readToEnd(), "") << path;
    std::string error = helper.stderrText();
    ASSERT_FALSE(error.empty()) << path;
    EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  std::remove(invalid.c_str());
  std::remove(malformed.c_str());
}

}  // namespace
}  // namespace cuh::e2e
