// Giving the user's foreground back: when a window of another application
// took the active window (a launched application, a target that presented
// itself), the user's window is activated again and the stacking order
// restored as it was. Used by launching now and by foreground protection.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <vector>

#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {

// What the user's foreground was: the active window and the managed
// windows front to back.
struct ForegroundState {
  std::optional<::Window> activeWindow;
  std::vector<::Window> stacking;  // front to back
  friend bool operator==(const ForegroundState&, const ForegroundState&) = default;
};

// Reads the current state.
ForegroundState readForeground(XConnection& x);

// The restack requests that put `current` (front to back) back into the
// order of `wanted` (front to back): each pair is (window, sibling) for
// "window directly below sibling", for the windows present in both, from
// the first position where they differ. Windows only in `current` (new
// ones) are left where they are. Pure, for tests.
std::vector<std::pair<::Window, ::Window>> restackPlan(const std::vector<::Window>& wanted,
                                                       const std::vector<::Window>& current);

class ForegroundGiveBack {
 public:
  explicit ForegroundGiveBack(XConnection& x) : x_(x) {}

  // Asks the window manager to make `state` true again: the active window
  // activated with source indication 2 (as a pager does, which window
  // managers honour without focus-stealing checks) and the stacking order
  // restacked with _NET_RESTACK_WINDOW, then waits (at most `wait`) until
  // the properties say so. True when the state was reached (a window that
  // has gone since is not waited for).
  bool restore(const ForegroundState& state,
               std::chrono::milliseconds wait = std::chrono::milliseconds(500));

  // The requests alone, without waiting.
  void activate(::Window window);
  void restackBelow(::Window window, ::Window sibling);

 private:
  void sendToRoot(::Window window, Atom type, const long (&data)[5]);
  XConnection& x_;
};

}  // namespace cuh::linux_desktop
