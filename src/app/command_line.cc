#include "app/command_line.h"

namespace cuh {

std::optional<int32_t> parseInt32(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL)
      return std::nullopt;  // keeps the product small
  }
  if (negative)
    value = -value;
  if (value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

namespace {

// The argument after the first exact occurrence of `option`, if any.
std::optional<std::string_view> valueOf(std::span<const char* const> arguments,
                                        std::string_view option) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] && option == arguments[i]) {
      if (i + 1 < arguments.size() && arguments[i + 1])
        return arguments[i + 1];
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

CommandLine parseCommandLine(std::span<const char* const> arguments) {
  CommandLine result;
  // Only as the first argument: anywhere else they stay ignored, so a
  // parent's argument list that happens to contain them still serves.
  if (arguments.size() >= 2 && arguments[1]) {
    std::string_view first = arguments[1];
    if (first == "--help")
      result.action = CommandLineAction::printHelp;
    else if (first == "--version")
      result.action = CommandLineAction::printVersion;
  }
  if (auto pid = valueOf(arguments, "--parent-pid"))
    result.parentPID = parseInt32(*pid).value_or(0);
  if (auto scene = valueOf(arguments, "--scene"))
    result.scenePath = std::string(*scene);
  if (auto trace = valueOf(arguments, "--trace"))
    result.tracePath = std::string(*trace);
  return result;
}

}  // namespace cuh
