// The texts of "--help" and "--version".
#pragma once

#include <string>
#include <string_view>

namespace cuh {

// The usage text, ending with a line feed.
std::string usageText();

// "computer-use-helper VERSION" and a line feed.
std::string versionText(std::string_view version);

}  // namespace cuh
