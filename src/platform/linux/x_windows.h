// Reading windows from the X server: the EWMH and ICCCM properties the
// window list and the applications are built from. A window that vanishes
// while it is read reads as none; nothing here fails loudly.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/window_rules.h"
#include "platform/linux/x_connection.h"

namespace cuh::linux_desktop {

// A point on the root window, in pixels.
struct RootPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const RootPoint&, const RootPoint&) = default;
};

// What the window list and the application rules need of one top-level
// client window (or override-redirect popup).
struct XWindowFacts {
  ::Window id = 0;
  std::optional<int32_t> pid;            // _NET_WM_PID
  std::optional<std::string> name;       // _NET_WM_NAME (UTF-8), else WM_NAME
  std::vector<std::string> types;        // _NET_WM_WINDOW_TYPE atom names
  std::vector<std::string> states;       // _NET_WM_STATE atom names
  std::optional<unsigned long> desktop;  // _NET_WM_DESKTOP
  std::optional<unsigned long> opacity;  // _NET_WM_WINDOW_OPACITY
  bool overrideRedirect = false;
  bool viewable = false;                        // mapped, and its ancestors too
  PixelRect client;                             // in root coordinates
  Extents frameExtents;                         // _NET_FRAME_EXTENTS
  Extents shadowExtents;                        // _GTK_FRAME_EXTENTS
  WindowClass windowClass;                      // WM_CLASS
  std::optional<std::string> gtkApplicationId;  // _GTK_APPLICATION_ID

  // The window rectangle R.
  PixelRect rectangle() const { return windowRectangle(client, frameExtents, shadowExtents); }
};

class XWindowReader {
 public:
  explicit XWindowReader(XConnection& connection) : x_(connection) {}

  // _NET_CLIENT_LIST_STACKING, front to back (the property is bottom to
  // top). Empty without a window manager that sets it.
  std::vector<::Window> clientListStacking();
  // _NET_ACTIVE_WINDOW; none when unset or 0.
  std::optional<::Window> activeWindow();
  // _NET_CURRENT_DESKTOP.
  std::optional<unsigned long> currentDesktop();
  // Where the pointer is on the root (one round trip); none when it is on
  // another screen or the connection is lost.
  std::optional<RootPoint> pointer();
  // Mapped override-redirect children of the root (menus, combo lists,
  // tooltips), topmost first, as XQueryTree gives them (reversed). The
  // connection's own windows are left out.
  std::vector<::Window> overrideRedirectPopups();

  // Everything above for one window; none when it does not exist (any
  // more), including when it vanishes half-way through.
  std::optional<XWindowFacts> read(::Window window);
  // The same for many windows, in their order.
  std::vector<std::optional<XWindowFacts>> readAll(const std::vector<::Window>& windows);

  // The window server's list: the override-redirect popups (topmost first)
  // in front of the managed windows (front to back). A window without
  // _NET_WM_PID, or gone while it was read, is not listed.
  std::vector<XWindowFacts> windowList();
  // The largest _NET_WM_ICON image; none without one.
  std::optional<IconImage> icon(::Window window);

  // Raw property access: the values of a 32-bit property (CARDINAL,
  // WINDOW, ATOM) and the bytes of an 8-bit one, of any type unless `type`
  // is given. None when absent, of another format, or on an error.
  std::optional<std::vector<unsigned long>> cardinals(::Window window, const char* property);
  std::optional<std::string> bytes(::Window window, const char* property, Atom type = 0);
  std::vector<std::string> atomNames(::Window window, const char* property);

 private:
  XConnection& x_;
};

}  // namespace cuh::linux_desktop
