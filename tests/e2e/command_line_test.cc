// --help and --version through the real binary: they print to standard
// output and exit 0 without serving; anywhere but first they are ignored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/support/checked_helper.h"

namespace cuh::e2e {
namespace {

TEST(CommandLine, HelpAndVersionPrintAndExitWithoutServing) {
  struct Case {
    std::vector<std::string> arguments;
    std::string expected;
    bool whole;  // the whole output, else its start
  };
  const Case cases[] = {
      {{"--help"},
       "Usage: computer-use-helper --parent-pid PID [--scene FILE] [--trace FILE]\n",
       false},
      {{"--help", "--scene", sourcePath("scenes/demo.json")}, "Usage: computer-use-helper", false},
      {{"--version", "--scene", sourcePath("scenes/demo.json")},
       std::string("computer-use-helper ") + CUH_PROJECT_VERSION + "\n",
       true},
  };
  for (const Case& c : cases) {
    // Not a protocol session: a plain child, its output not logged as
    // responses.
    ChildProcess helper(helperBinary(), c.arguments);
    // A request is not read: the helper prints and exits.
    helper.writeLine(R"({"id":1,"method":"ping"})");
    std::optional<std::string> output = helper.readToEnd();
    ASSERT_TRUE(output) << c.arguments[0];
    EXPECT_EQ(c.whole ? *output : output->substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(output->find("\"ok\""), std::string::npos) << "it served a request";
    EXPECT_EQ(helper.waitForExit(), 0);
    EXPECT_EQ(helper.stderrText(), "");
  }
}

TEST(CommandLine, HelpAfterTheFirstArgumentIsIgnored) {
  CheckedHelper helper({"--scene", sourcePath("scenes/demo.json"), "--help", "--version"});
  EXPECT_EQ(helper.request({{"id", 1}, {"method", "ping"}}),
            nlohmann::json::parse(R"({"id":1,"ok":true,"result":{"ready":true}})"));
}

}  // namespace
}  // namespace cuh::e2e
