// Pieces of the protocol's messages that more than one subsystem uses.
#pragma once

#include <string>
#include <string_view>

namespace cuh {

// The agent application's name, as the messages about the user taking over
// name it.
inline constexpr std::string_view kProductName = "Zuzozevu Viv";

// "<product> stopped because the user changed the foreground window; no
// <what> was sent": nothing reached the target.
std::string stoppedByForegroundChange(std::string_view what);

}  // namespace cuh
