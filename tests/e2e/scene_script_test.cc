// A scene whose script plays the user right after responses, through the
// binary and its pipes, with a client that sends its next line the moment it
// reads a response: the same scene gives the same answers on every run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/support/checked_helper.h"
#include "support/user_click_scene.h"

namespace cuh::e2e {
namespace {

using nlohmann::json;

// Each round holds a lease on the Notes window while the user clicks into
// Notes, then ends it; the click comes with the lease's answer (written by
// the main thread) or, every other round, with the answer to an invalid line
// the client sends during the lease (written by the reader thread).
constexpr int kRounds = 200;

TEST(SceneScript, AClientAnsweringAtOnceAlwaysSeesTheUsersClick) {
  std::vector<int64_t> clickLines;
  int64_t line = 0;
  for (int round = 0; round < kRounds; ++round) {
    line += round % 2 == 0 ? 1 : 2;  // begin_guard, and the invalid line
    clickLines.push_back(line);
    line += 1;  // end_guard
  }
  std::string scenePath =
      ::testing::TempDir() + "scene-script-" + std::to_string(getpid()) + ".json";
  std::ofstream(scenePath) << testing::sceneWithUserClicksAfter(clickLines).dump();

  std::vector<int> missed;  // rounds whose lease did not see the click
  {
    CheckedHelper helper({"--scene", scenePath});
    for (int round = 0; round < kRounds; ++round) {
      auto begin = helper.request(
          {{"id", 1}, {"method", "begin_guard"}, {"params", testing::notesGuardParams()}});
      ASSERT_TRUE(begin && (*begin)["ok"] == true) << round << ": " << (begin ? begin->dump() : "");
      if (round % 2 == 1) {
        ASSERT_TRUE(helper.writeLine("not json"));
        auto invalid = helper.readJson();
        ASSERT_TRUE(invalid && (*invalid)["id"].is_null()) << round;
      }
      auto end = helper.request({{"id", 2},
                                 {"method", "end_guard"},
                                 {"params", {{"token", (*begin)["result"]["token"]}}}});
      ASSERT_TRUE(end && (*end)["ok"] == true) << round << ": " << (end ? end->dump() : "");
      if ((*end)["result"]["userIntervened"] != true)
        missed.push_back(round);
    }
  }
  std::remove(scenePath.c_str());
  EXPECT_EQ(missed, std::vector<int>{});
}

}  // namespace
}  // namespace cuh::e2e
