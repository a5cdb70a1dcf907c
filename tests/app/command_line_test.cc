#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace cuh {
namespace {

int32_t parentPidOf(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "computer-use-helper");
  return parseCommandLine(arguments).parentPID;
}

TEST(CommandLine, ParentPidIsAStrict32BitDecimal) {
  struct Case {
    std::vector<const char*> arguments;
    int32_t parentPID;
  };
  const Case cases[] = {
      {{"--parent-pid", "123"}, 123},
      {{"--parent-pid", "+42"}, 42},
      {{"--parent-pid", "-7"}, -7},
      {{"--parent-pid", "0042"}, 42},
      {{"--parent-pid", "2147483647"}, 2147483647},
      {{"--parent-pid", "-2147483648"}, INT32_MIN},
      {{"--parent-pid", "2147483648"}, 0},
      {{"--parent-pid", "99999999999"}, 0},
      {{"--parent-pid", "99999999999999999999999999"}, 0},
      {{"--parent-pid", "abc"}, 0},
      {{"--parent-pid", ""}, 0},
      {{"--parent-pid", "+"}, 0},
      {{"--parent-pid", "-"}, 0},
      {{"--parent-pid", " 12"}, 0},
      {{"--parent-pid", "12 "}, 0},
      {{"--parent-pid", "1e3"}, 0},
      {{"--parent-pid", "0x10"}, 0},
      {{"--parent-pid", "+-1"}, 0},
      {{"--parent-pid", "\xD9\xA1"}, 0},  // a non-ASCII digit
      {{"--parent-pid"}, 0},
      {{"--parent-pid=123"}, 0},
      {{"--Parent-Pid", "123"}, 0},
      {{}, 0},
      {{"--parent-pid", "5", "--parent-pid", "6"}, 5},
      {{"--parent-pid", "x", "--parent-pid", "6"}, 0},
      {{"--verbose", "--parent-pid", "9", "extra"}, 9},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const char* argument : c.arguments)
      shown += std::string("[") + argument + "]";
    EXPECT_EQ(parentPidOf(c.arguments), c.parentPID) << shown;
  }
}

TEST(CommandLine, SceneAndTraceTakeTheirNextArgument) {
  std::vector<const char*> arguments = {"helper",  "--scene", "a.json", "--trace",
                                        "t.jsonl", "--scene", "b.json"};
  CommandLine line = parseCommandLine(arguments);
  EXPECT_EQ(line.scenePath, "a.json");
  EXPECT_EQ(line.tracePath, "t.jsonl");
  EXPECT_EQ(line.parentPID, 0);
  std::vector<const char*> last = {"helper", "--trace", "--scene"};
  line = parseCommandLine(last);
  EXPECT_EQ(line.tracePath, "--scene");
  EXPECT_EQ(line.scenePath, std::nullopt);
}

TEST(CommandLine, HelpAndVersionCountOnlyAsTheFirstArgument) {
  struct Case {
    std::vector<const char*> arguments;
    CommandLineAction action;
  };
  const Case cases[] = {
      {{"--help"}, CommandLineAction::printHelp},
      {{"--version"}, CommandLineAction::printVersion},
      {{"--help", "--parent-pid", "5"}, CommandLineAction::printHelp},
      {{"--version", "--help"}, CommandLineAction::printVersion},
      {{"--parent-pid", "5", "--help"}, CommandLineAction::serve},
      {{"--scene", "--version"}, CommandLineAction::serve},
      {{"-h"}, CommandLineAction::serve},
      {{"--help=1"}, CommandLineAction::serve},
      {{"--Version"}, CommandLineAction::serve},
      {{}, CommandLineAction::serve},
  };
  for (const Case& c : cases) {
    std::vector<const char*> arguments = c.arguments;
    arguments.insert(arguments.begin(), "computer-use-helper");
    EXPECT_EQ(parseCommandLine(arguments).action, c.action)
        << (c.arguments.empty() ? "(none)" : c.arguments[0]);
  }
}

TEST(CommandLine, TheProgramPathCanBeTheOption) {
  // The search starts at the program path itself.
  std::vector<const char*> arguments = {"--parent-pid", "77"};
  EXPECT_EQ(parseCommandLine(arguments).parentPID, 77);
}

}  // namespace
}  // namespace cuh
