// Matching an application's top-level accessibles to its X windows. The
// two share no identifier, so the match is made on what both report: the
// pid (the caller passes one application's windows and top-levels), the
// title, the size, and last the active state. Two windows that nothing
// tells apart are left unmatched rather than guessed.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi_client.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {

// A top-level child of an application on the bus, whatever its role (GTK:
// frame, dialog; Qt: often filler).
struct Toplevel {
  AccessibleRef object;
  uint32_t role = 0;
  std::string name;
  uint64_t states = 0;
  std::optional<BusExtents> screen;  // none when unreadable
};

// Reads the application's top-levels: its children, then their names,
// roles, states and screen extents in one pipelined batch.
std::vector<Toplevel> readToplevels(AtspiClient& client, const AccessibleRef& application);

// Whether a top-level's size is its X window's, allowing for what lies
// between them: the window manager's frame (R), the client-side shadow,
// or an invisible margin equal on every side (at most kMaxMargin pixels).
inline constexpr int64_t kMaxMargin = 32;
bool sizeAgrees(const BusExtents& toplevel, const XWindowFacts& window);

// For each window (of one application), the index of its top-level, or
// none: candidates are narrowed by the title (an equal name; where none is
// equal, the unnamed ones), then by the size, then, where several remain,
// by the active state against `activeWindow`. A window is matched only to
// a single remaining candidate, and a top-level only to one window.
std::vector<std::optional<size_t>> matchToplevels(const std::vector<XWindowFacts>& windows,
                                                  const std::vector<Toplevel>& toplevels,
                                                  std::optional<::Window> activeWindow);

}  // namespace cuh::linux_desktop
