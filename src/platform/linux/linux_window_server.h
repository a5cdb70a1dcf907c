// The window server of the Linux desktop: the window list as the macOS
// window list's rows (managed windows of _NET_CLIENT_LIST_STACKING front to
// back, override-redirect popups in front of them).
#pragma once

#include "platform/linux/desktop_session.h"
#include "platform/window_server.h"

namespace cuh::linux_desktop {

// One row of the list, with the keys the macOS rows have.
platform::Value windowRow(const XWindowFacts& window,
                          const std::optional<std::string>& ownerName,
                          std::optional<unsigned long> currentDesktop);

class LinuxWindowServer final : public platform::WindowServer {
 public:
  explicit LinuxWindowServer(DesktopSession& session) : session_(session) {}

  // The options of the macOS call: one window, on-screen only, above or
  // below a window, desktop elements (desktop-type windows) left out.
  std::optional<platform::Value> copyWindowInfo(uint32_t option,
                                                uint32_t relativeToWindow) override;

 private:
  DesktopSession& session_;
};

}  // namespace cuh::linux_desktop
