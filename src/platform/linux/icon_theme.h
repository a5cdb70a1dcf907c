// Application icons from the icon theme. Only PNG images are used: the
// themes on a Debian desktop ship PNG sizes of application icons (and
// Adwaita of the generic executable icon), so no SVG renderer is needed;
// an icon with only an SVG reads as missing and the generic icon is used.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/window_rules.h"

namespace cuh::linux_desktop {

// The themes searched, in order: the fallback theme every application
// installs into, then the one that holds the generic icons.
inline constexpr const char* kIconThemes[] = {"hicolor", "Adwaita"};
// The generic icon of an executable.
inline constexpr const char* kGenericExecutableIcon = "application-x-executable";

// The icon base directories in lookup order: $XDG_DATA_HOME/icons (default
// ~/.local/share/icons), each of $XDG_DATA_DIRS + /icons, then
// /usr/share/pixmaps (searched without themes).
std::vector<std::string> iconBaseDirectories();

// The PNG file for an icon name (or an absolute path to a PNG) at the
// given edge: the smallest theme size of at least `pixels`, else the
// largest there is. None when no PNG exists.
std::optional<std::string> findIconFile(std::string_view icon,
                                        int pixels,
                                        const std::vector<std::string>& baseDirectories);

// Reads a PNG file as RGBA. None when it cannot be read or is larger than
// 4096 pixels on a side.
std::optional<IconImage> readPng(const std::string& path);

}  // namespace cuh::linux_desktop
