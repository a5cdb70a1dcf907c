// The Exec line of a desktop file: the command a launch runs. Quoting and
// field codes as the desktop entry format defines them; launches carry no
// files, so the file and URL codes expand to nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/desktop_entries.h"

namespace cuh::linux_desktop {

// The argument vector of `entry`'s Exec line: the value's escapes (\s \n
// \t \r \\) undone, split at unquoted spaces, double-quoted arguments
// unescaped (\" \` \$ \\), then field codes expanded: %f %F %u %U (and the
// deprecated %d %D %n %N %v %m) to nothing, %i to "--icon ICON" when the
// entry has an icon, %c to its name, %k to its path, %% to %. None when the
// line is empty, a quote is not closed, or an unknown field code appears.
std::optional<std::vector<std::string>> execArguments(const DesktopEntry& entry);

// The program a launch runs: `program` itself when it contains a '/',
// else its first executable match in $PATH. None when there is none.
std::optional<std::string> resolveProgram(std::string_view program);

}  // namespace cuh::linux_desktop
