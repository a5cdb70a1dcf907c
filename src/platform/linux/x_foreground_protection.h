// Foreground protection on X11. Per target process a TargetWatch; the X
// events the platform's loop reads are handed here:
// - a change of _NET_ACTIVE_WINDOW to a window of a protected target that
//   the user did not ask for is answered by activating the user's window
//   again and restoring the stacking order (ForegroundGiveBack);
// - a menu, combo or dropdown popup of a protected target that maps is
//   dismissed with Escape and remembered, so the request fails;
// - raw device input routed to a protected target (a button, wheel or
//   motion over one of its windows, a key while it owns the active window)
//   is the user acting in it.
// The synthetic active state is a FocusIn sent to the target window, given
// back with a FocusOut at the end of the request, at release, and when
// the service goes.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "platform/foreground_protection.h"
#include "platform/linux/raw_input.h"
#include "platform/linux/target_watch.h"
#include "platform/linux/x_connection.h"
#include "platform/platform.h"
#include "platform/sim/sim_trace.h"

namespace cuh::linux_desktop {

class XForegroundProtection final : public platform::ForegroundProtection {
 public:
  // `readPendingEvents` hands every event the connection has (read or
  // waiting) to the platform's loop handlers now: a round trip of any
  // component may have read events off the socket, which then wait in
  // Xlib's queue where polling the descriptor does not see them.
  XForegroundProtection(platform::Platform& platform,
                        XConnection& x,
                        sim::Trace& trace,
                        std::function<void()> readPendingEvents);
  ~XForegroundProtection() override;

  platform::SemanticGuardArming armSemanticGuard(
      int32_t targetPID,
      uint32_t windowID,
      const platform::ForegroundSnapshot& foreground) override;
  // X routes what is sent to a window to that window, whichever of its
  // application's windows has the keyboard.
  bool acceptsPostedInput(int32_t, const platform::AXElement&) override { return true; }
  platform::ProtectionOutcome establishSyntheticState(
      int32_t pid,
      uint32_t windowID,
      const platform::AXElement& window,
      const platform::Rect& windowBounds,
      const platform::ForegroundSnapshot& foreground) override;
  bool syntheticStateReady(int32_t pid, uint32_t windowID) override;
  bool popupDismissed(int32_t pid) override;
  void restoreAfterRequest() override;
  void releaseControllers() override;
  void sweepControllers() override;

  // From the platform's loop: one event of the X connection (raw input,
  // a window mapped on the root), and a change of the active window.
  void handleEvent(XEvent& event);
  void activeWindowChanged();

 private:
  std::shared_ptr<TargetWatch> armed(int32_t pid,
                                     const platform::ForegroundSnapshot& foreground,
                                     platform::ProtectionOutcome& outcome);
  // Gives back the FocusIn a watch sent, unless its window has really
  // become the active one since.
  void giveBackFocus(TargetWatch& watch);
  void popupMapped(::Window window);
  void rawInput(RawInputKind kind);
  // Listens to raw input exactly while some watch protects.
  void updateListening();
  std::optional<int32_t> pidOf(::Window window);

  platform::Platform& platform_;
  XConnection& x_;
  sim::Trace& trace_;
  std::function<void()> readPendingEvents_;
  RawInput raw_;
  std::map<int32_t, std::shared_ptr<TargetWatch>> watches_;
  std::chrono::steady_clock::time_point lastMotionCheck_{};
  // When raw input of the user's was last seen (any device, anywhere).
  std::chrono::steady_clock::time_point lastUserInput_{};
};

}  // namespace cuh::linux_desktop
