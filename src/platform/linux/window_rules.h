// The pure rules of the X window list: the window rectangle R, the layer,
// alpha and on-screen values of a row, and the decoding of window
// properties. No X calls here, so each rule is tested on plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cuh::linux_desktop {

struct PixelRect {
  int64_t x = 0;
  int64_t y = 0;
  int64_t width = 0;
  int64_t height = 0;
  // Whether the point lies inside: the left and top edges included, the
  // right and bottom ones not, as pixels are.
  bool contains(double px, double py) const {
    return px >= static_cast<double>(x) && py >= static_cast<double>(y) &&
           px < static_cast<double>(x + width) && py < static_cast<double>(y + height);
  }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Frame extents as the properties give them: left, right, top, bottom.
struct Extents {
  int64_t left = 0;
  int64_t right = 0;
  int64_t top = 0;
  int64_t bottom = 0;
  friend bool operator==(const Extents&, const Extents&) = default;
};

// Reads _NET_FRAME_EXTENTS / _GTK_FRAME_EXTENTS (four CARDINALs). Absent or
// malformed (not four values) reads as all zero.
Extents extentsFromCardinals(std::span<const unsigned long> values);

// R: the client window's rectangle in root coordinates, grown by the
// window manager's frame extents, then shrunk by the client's invisible
// shadow extents.
PixelRect windowRectangle(const PixelRect& client, const Extents& frame, const Extents& shadow);

// The row's layer from the window's _NET_WM_WINDOW_TYPE atom names (in the
// property's order; the first known one counts): 0 for normal, dialog,
// utility, toolbar, splash and for no type; kDockLayer for dock,
// kDesktopLayer for desktop, kPopupLayer for override-redirect windows and
// popup types (menus, combo lists, tooltips, notifications).
// The values are the macOS levels of the same kinds of window.
inline constexpr int kDockLayer = 20;
inline constexpr int kDesktopLayer = -2147483623;
inline constexpr int kPopupLayer = 101;
int windowLayer(std::span<const std::string> typeNames, bool overrideRedirect);

// alpha: 1, or _NET_WM_WINDOW_OPACITY / 0xffffffff when set.
double windowAlpha(std::optional<unsigned long> opacity);

// On screen: mapped (viewable), not _NET_WM_STATE_HIDDEN, and on the
// current desktop or on all desktops (0xffffffff). A window without
// _NET_WM_DESKTOP counts as on every desktop.
bool windowOnScreen(bool viewable,
                    std::span<const std::string> stateNames,
                    std::optional<unsigned long> windowDesktop,
                    std::optional<unsigned long> currentDesktop);

// WM_NAME and other STRING properties are ISO 8859-1: converted to UTF-8.
std::string latin1ToUtf8(std::string_view latin1);

// WM_CLASS: "instance\0class\0". Missing parts are empty.
struct WindowClass {
  std::string instance;
  std::string className;
  friend bool operator==(const WindowClass&, const WindowClass&) = default;
};
WindowClass parseWindowClass(std::string_view bytes);

// One image of _NET_WM_ICON: width, height, then width*height ARGB pixels,
// one per CARDINAL (the low 32 bits). Converted to RGBA, rows top to
// bottom, not premultiplied.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
};
// The largest image of the property (by area; the first of equal ones).
// None when the property holds no complete image; a truncated or absurd
// image ends the parse (images before it still count).
std::optional<IconImage> largestIcon(std::span<const unsigned long> values);

}  // namespace cuh::linux_desktop
