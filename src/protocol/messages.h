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

// "The target app opened a popup menu, which was closed again; the <what>
// may have taken effect and cannot be safely retried": a desktop that
// cannot keep a target's popups from opening closed one the request opened.
std::string popupDismissedMessage(std::string_view what);

}  // namespace cuh
