#include "render/svg.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

namespace cuh::render {

namespace {

constexpr double kLegendLineHeight = 18;

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
          out += c;
    }
  }
  return out;
}

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::isfinite(value) ? value : 0.0);
  return text;
}

std::string point(platform::Point p) {
  return num(p.x) + "," + num(p.y);
}

void drawWindow(std::string& out, const WindowBox& box) {
  const platform::Rect& f = box.frame;
  std::string style = box.onScreen ? "" : " fill-opacity=\"0.45\" stroke-dasharray=\"6 4\"";
  const char* border = box.frontmost ? kFrontmostColor : "#6b7280";
  out += "<g class=\"window\" data-id=\"" + std::to_string(box.id) + "\">\n";
  out += "<rect x=\"" + num(f.minX()) + "\" y=\"" + num(f.minY()) + "\" width=\"" + num(f.width()) +
         "\" height=\"" + num(f.height()) + "\" fill=\"" +
         (box.ordinary ? kWindowColor : kTitleBarColor) + "\" stroke=\"" + border +
         "\" stroke-width=\"" + (box.frontmost ? "3" : "1") + "\"" + style + "/>\n";
  if (box.ordinary) {
    double bar = std::min(kTitleBarHeight, f.height());
    out += "<rect x=\"" + num(f.minX()) + "\" y=\"" + num(f.minY()) + "\" width=\"" +
           num(f.width()) + "\" height=\"" + num(bar) + "\" fill=\"" +
           (box.frontmost ? kFrontmostColor : kTitleBarColor) + "\"" + style + "/>\n";
  }
  std::string title = box.title + " [" + std::to_string(box.id) + "]";
  if (box.frontmost)
    title += " (frontmost)";
  if (!box.onScreen)
    title += " (off screen)";
  out += "<text x=\"" + num(f.minX() + 8) + "\" y=\"" + num(f.minY() + 15) +
         "\" font-size=\"12\" fill=\"" + (box.frontmost ? "#ffffff" : "#111827") + "\">" +
         escaped(title) + "</text>\n</g>\n";
}

void numberedCircle(std::string& out, platform::Point at, const char* color, int number) {
  out += "<circle cx=\"" + num(at.x) + "\" cy=\"" + num(at.y) + "\" r=\"" + num(kMarkerRadius) +
         "\" fill=\"" + color + "\" stroke=\"#ffffff\" stroke-width=\"2\"/>\n";
  out += "<text x=\"" + num(at.x) + "\" y=\"" + num(at.y + 4) +
         "\" font-size=\"11\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#ffffff\">" +
         std::to_string(number) + "</text>\n";
}

// A badge in the column along the right edge of a window, under its title
// bar (where cascaded windows leave a window most often visible).
void drawBadge(std::string& out, const Marker& marker, const WindowBox& box) {
  std::string text = std::to_string(marker.number) + " " +
                     (marker.gesture.kind == GestureKind::key ? "key" : "scroll") + ": " +
                     marker.gesture.label;
  double width = 16 + 6.5 * static_cast<double>(text.size());
  double x = box.frame.maxX() - 6 - width;
  double y =
      box.frame.minY() + kTitleBarHeight + kBadgeGap + marker.slot * (kBadgeHeight + kBadgeGap);
  out += "<rect class=\"badge\" x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(width) +
         "\" height=\"" + num(kBadgeHeight) + "\" rx=\"4\" fill=\"" + kBadgeColor + "\"/>\n";
  out += "<text x=\"" + num(x + 8) + "\" y=\"" + num(y + 14) +
         "\" font-size=\"11\" fill=\"#ffffff\">" + escaped(text) + "</text>\n";
}

void drawMarker(std::string& out, const Marker& marker, const Picture& picture) {
  const Gesture& g = marker.gesture;
  switch (g.kind) {
    case GestureKind::focus:
      return;  // lands outside the window by design; listed in the legend
    case GestureKind::drag:
      out += "<line x1=\"" + num(g.at.x) + "\" y1=\"" + num(g.at.y) + "\" x2=\"" + num(g.to.x) +
             "\" y2=\"" + num(g.to.y) + "\" stroke=\"" + kDragColor +
             "\" stroke-width=\"4\" marker-end=\"url(#arrow)\"/>\n";
      numberedCircle(out, g.at, kDragColor, marker.number);
      return;
    case GestureKind::key:
    case GestureKind::scroll:
      if (marker.window) {
        drawBadge(out, marker, picture.windows[*marker.window]);
        return;
      }
      if (g.kind == GestureKind::key)
        return;  // no window to put it by: legend only
      [[fallthrough]];
    case GestureKind::click:
    case GestureKind::other:
      numberedCircle(out, g.at, g.kind == GestureKind::click ? kClickColor : kBadgeColor,
                     marker.number);
      return;
  }
}

std::string legendLine(const Picture& picture, const Marker& marker) {
  const Gesture& g = marker.gesture;
  std::string count = g.clickCount > 1 ? " ×" + std::to_string(g.clickCount) : "";
  std::string text = marker.number ? std::to_string(marker.number) + ". " : "· ";
  switch (g.kind) {
    case GestureKind::click:
      text += g.button + " click" + count + " at " + point(g.at);
      break;
    case GestureKind::drag:
      text += g.button + " drag " + point(g.at) + " to " + point(g.to);
      break;
    case GestureKind::key:
      text += "key " + (g.label.empty() ? std::string("(modifiers only)") : g.label);
      break;
    case GestureKind::scroll:
      text += "scroll " + g.label + " at " + point(g.at);
      break;
    case GestureKind::focus:
      break;  // summed up in one line
    case GestureKind::other:
      text += "event " + g.label + " at " + point(g.at);
      break;
  }
  // Where it went: the window of its badge, else the window it names.
  std::optional<size_t> window = marker.window;
  for (size_t i = 0; !window && g.windowNumber != 0 && i < picture.windows.size(); ++i) {
    if (picture.windows[i].id == g.windowNumber)
      window = i;
  }
  text += window ? " → " + picture.windows[*window].title + " [" +
                       std::to_string(picture.windows[*window].id) + "]"
                 : " → pid " + std::to_string(g.pid);
  return text + " (" + std::to_string(g.events) + (g.events == 1 ? " event)" : " events)");
}

}  // namespace

std::string svgDocument(const Picture& picture) {
  std::vector<std::string> legend;
  int focusEvents = 0;
  for (const Marker& marker : picture.markers) {
    if (marker.gesture.kind == GestureKind::focus)
      focusEvents += marker.gesture.events;
    else
      legend.push_back(legendLine(picture, marker));
  }
  if (focusEvents > 0) {
    legend.push_back("· and " + std::to_string(focusEvents) +
                     " events of the helper's own synthetic focus (not drawn)");
  }
  for (const std::string& note : picture.notes)
    legend.push_back("· " + note);

  const platform::Rect& e = picture.extent;
  double left = std::floor(e.minX() - kMargin), top = std::floor(e.minY() - kMargin);
  double width = std::ceil(e.width() + 2 * kMargin);
  double desktopHeight = std::ceil(e.height() + 2 * kMargin);
  double height = desktopHeight + (legend.empty() ? 0 : kLegendLineHeight * legend.size() + 16);

  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
         num(height) + "\" viewBox=\"" + num(left) + " " + num(top) + " " + num(width) + " " +
         num(height) + "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
  out += std::string("<defs><marker id=\"arrow\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" ") +
         "markerWidth=\"5\" markerHeight=\"5\" orient=\"auto\"><path d=\"M0,0 L10,5 L0,10 z\" " +
         "fill=\"" + kDragColor + "\"/></marker></defs>\n";
  out += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(width) +
         "\" height=\"" + num(desktopHeight) + "\" fill=\"" + kDesktopColor + "\"/>\n";
  for (const WindowBox& box : picture.windows)
    drawWindow(out, box);
  for (const Marker& marker : picture.markers)
    drawMarker(out, marker, picture);
  if (!legend.empty()) {
    out += "<rect x=\"" + num(left) + "\" y=\"" + num(top + desktopHeight) + "\" width=\"" +
           num(width) + "\" height=\"" + num(height - desktopHeight) + "\" fill=\"#ffffff\"/>\n";
    double y = top + desktopHeight + 8;
    for (const std::string& line : legend) {
      y += kLegendLineHeight;
      out += "<text x=\"" + num(left + kMargin) + "\" y=\"" + num(y) +
             "\" font-size=\"12\" fill=\"#111827\">" + escaped(line) + "</text>\n";
    }
  }
  out += "</svg>\n";
  return out;
}

}  // namespace cuh::render
