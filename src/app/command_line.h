// The command line: "--parent-pid PID", and on the simulated desktop
// "--scene FILE" and "--trace FILE". Other arguments are ignored, except
// "--help" or "--version" as the first argument, which print and exit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace cuh {

// What the process is asked to do.
enum class CommandLineAction {
  serve,
  printHelp,     // "--help" as the first argument
  printVersion,  // "--version" as the first argument
};

struct CommandLine {
  CommandLineAction action = CommandLineAction::serve;
  // 0 when the option is absent, last, or its value does not parse.
  int32_t parentPID = 0;
  std::optional<std::string> scenePath;
  std::optional<std::string> tracePath;
};

// A strict 32-bit signed decimal: an optional "+" or "-", then one or more
// ASCII digits and nothing else, within range.
std::optional<int32_t> parseInt32(std::string_view text);

// Reads `arguments` (argv, the program path included). For each option the
// first occurrence counts; an option given as the last argument has no
// value.
CommandLine parseCommandLine(std::span<const char* const> arguments);

}  // namespace cuh
