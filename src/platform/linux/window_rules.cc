#include "platform/linux/window_rules.h"

#include <limits>

namespace cuh::linux_desktop {

Extents extentsFromCardinals(std::span<const unsigned long> values) {
  if (values.size() != 4)
    return {};
  auto value = [&](size_t i) { return static_cast<int64_t>(values[i] & 0xffffffffUL); };
  return Extents{value(0), value(1), value(2), value(3)};
}

PixelRect windowRectangle(const PixelRect& client, const Extents& frame, const Extents& shadow) {
  PixelRect r;
  r.x = client.x - frame.left + shadow.left;
  r.y = client.y - frame.top + shadow.top;
  r.width = client.width + frame.left + frame.right - shadow.left - shadow.right;
  r.height = client.height + frame.top + frame.bottom - shadow.top - shadow.bottom;
  return r;
}

int windowLayer(std::span<const std::string> typeNames, bool overrideRedirect) {
  if (overrideRedirect)
    return kPopupLayer;
  constexpr std::string_view kPrefix = "_NET_WM_WINDOW_TYPE_";
  for (const std::string& name : typeNames) {
    if (!name.starts_with(kPrefix))
      continue;
    std::string_view type = std::string_view(name).substr(kPrefix.size());
    if (type == "NORMAL" || type == "DIALOG" || type == "UTILITY" || type == "TOOLBAR" ||
        type == "SPLASH")
      return 0;
    if (type == "DOCK")
      return kDockLayer;
    if (type == "DESKTOP")
      return kDesktopLayer;
    if (type == "MENU" || type == "DROPDOWN_MENU" || type == "POPUP_MENU" || type == "COMBO" ||
        type == "TOOLTIP" || type == "NOTIFICATION" || type == "DND")
      return kPopupLayer;
  }
  return 0;
}

double windowAlpha(std::optional<unsigned long> opacity) {
  if (!opacity)
    return 1.0;
  return static_cast<double>(*opacity & 0xffffffffUL) / 4294967295.0;
}

bool windowOnScreen(bool viewable,
                    std::span<const std::string> stateNames,
                    std::optional<unsigned long> windowDesktop,
                    std::optional<unsigned long> currentDesktop) {
  if (!viewable)
    return false;
  for (const std::string& state : stateNames) {
    if (state == "_NET_WM_STATE_HIDDEN")
      return false;
  }
  if (!windowDesktop || (*windowDesktop & 0xffffffffUL) == 0xffffffffUL || !currentDesktop)
    return true;
  return (*windowDesktop & 0xffffffffUL) == (*currentDesktop & 0xffffffffUL);
}

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char c : latin1) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xc0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3f)));
    }
  }
  return out;
}

WindowClass parseWindowClass(std::string_view bytes) {
  WindowClass result;
  size_t end = bytes.find('\0');
  result.instance = std::string(bytes.substr(0, end));
  if (end == std::string_view::npos)
    return result;
  std::string_view rest = bytes.substr(end + 1);
  result.className = std::string(rest.substr(0, rest.find('\0')));
  return result;
}

std::optional<IconImage> largestIcon(std::span<const unsigned long> values) {
  // Icons larger than this are not real icons; the bound also keeps the
  // arithmetic below from overflowing.
  constexpr uint64_t kMaxEdge = 4096;
  std::optional<IconImage> best;
  uint64_t bestArea = 0;
  size_t at = 0;
  while (values.size() - at >= 2) {
    uint64_t width = values[at] & 0xffffffffUL;
    uint64_t height = values[at + 1] & 0xffffffffUL;
    if (width == 0 || height == 0 || width > kMaxEdge || height > kMaxEdge)
      break;
    uint64_t area = width * height;
    if (values.size() - at - 2 < area)
      break;
    if (area > bestArea) {
      IconImage image;
      image.width = static_cast<int>(width);
      image.height = static_cast<int>(height);
      image.rgba.resize(area * 4);
      for (uint64_t i = 0; i < area; ++i) {
        unsigned long argb = values[at + 2 + i];
        image.rgba[i * 4 + 0] = static_cast<uint8_t>(argb >> 16);
        image.rgba[i * 4 + 1] = static_cast<uint8_t>(argb >> 8);
        image.rgba[i * 4 + 2] = static_cast<uint8_t>(argb);
        image.rgba[i * 4 + 3] = static_cast<uint8_t>(argb >> 24);
      }
      best = std::move(image);
      bestArea = area;
    }
    at += 2 + area;
  }
  return best;
}

}  // namespace cuh::linux_desktop
