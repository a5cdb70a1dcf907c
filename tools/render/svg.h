// The picture as an SVG document: one user unit per screen point, so
// rsvg-convert draws it at the desktop's own size.
#pragma once

#include <string>

#include "render/picture.h"

namespace cuh::render {

// Colours, shared with the tests that look at the pixels.
inline constexpr const char* kDesktopColor = "#eef1f5";
inline constexpr const char* kWindowColor = "#ffffff";
inline constexpr const char* kTitleBarColor = "#cfd4dc";
inline constexpr const char* kFrontmostColor = "#2563eb";
inline constexpr const char* kClickColor = "#dc2626";
inline constexpr const char* kDragColor = "#ea580c";
inline constexpr const char* kBadgeColor = "#7c3aed";

// Geometry of the drawing, in points.
inline constexpr double kTitleBarHeight = 22;
inline constexpr double kMarkerRadius = 11;
inline constexpr double kBadgeHeight = 20;
inline constexpr double kBadgeGap = 4;
inline constexpr double kMargin = 20;

std::string svgDocument(const Picture& picture);

}  // namespace cuh::render
