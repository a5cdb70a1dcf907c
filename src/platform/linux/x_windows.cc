#include "platform/linux/x_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace cuh::linux_desktop {
namespace {

// Property values beyond this are not read (a 1 MiB title is still read
// whole; a window icon of 2048 x 2048 fits).
constexpr long kMaxPropertyLongs = 4L * 1024 * 1024;

struct RawProperty {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned char* data = nullptr;
  RawProperty() = default;
  RawProperty(const RawProperty&) = delete;
  RawProperty& operator=(const RawProperty&) = delete;
  ~RawProperty() {
    if (data)
      XFree(data);
  }
};

bool readRaw(XConnection& x, ::Window window, Atom property, Atom type, RawProperty& out) {
  if (x.lost() || property == None)
    return false;
  unsigned long after = 0;
  int status = XGetWindowProperty(x.display(), window, property, 0, kMaxPropertyLongs, False,
                                  type ? type : AnyPropertyType, &out.type, &out.format, &out.count,
                                  &after, &out.data);
  // A request that failed (BadWindow) reports it in the status.
  if (status != Success || x.lost())
    return false;
  return out.type != None && out.data;
}

}  // namespace

std::optional<std::vector<unsigned long>> XWindowReader::cardinals(::Window window,
                                                                   const char* property) {
  RawProperty raw;
  if (!readRaw(x_, window, x_.atom(property), 0, raw) || raw.format != 32)
    return std::nullopt;
  // Xlib hands 32-bit items as longs.
  auto* items = reinterpret_cast<unsigned long*>(raw.data);
  return std::vector<unsigned long>(items, items + raw.count);
}

std::optional<std::string> XWindowReader::bytes(::Window window, const char* property, Atom type) {
  RawProperty raw;
  if (!readRaw(x_, window, x_.atom(property), type, raw) || raw.format != 8)
    return std::nullopt;
  return std::string(reinterpret_cast<char*>(raw.data), raw.count);
}

std::vector<std::string> XWindowReader::atomNames(::Window window, const char* property) {
  std::vector<std::string> names;
  auto atoms = cardinals(window, property);
  if (!atoms || atoms->empty())
    return names;
  std::vector<Atom> list(atoms->begin(), atoms->end());
  std::vector<char*> raw(list.size(), nullptr);
  bool all = XGetAtomNames(x_.display(), list.data(), static_cast<int>(list.size()), raw.data());
  for (char* name : raw) {
    if (all)
      names.emplace_back(name ? name : "");
    if (name)
      XFree(name);
  }
  if (!all) {
    // An unknown atom fails the whole call: ask one by one (an unknown one
    // reads as "").
    for (Atom atom : list) {
      char* name = x_.lost() ? nullptr : XGetAtomName(x_.display(), atom);
      names.emplace_back(name ? name : "");
      if (name)
        XFree(name);
    }
  }
  return names;
}

std::vector<::Window> XWindowReader::clientListStacking() {
  std::vector<::Window> windows;
  if (auto list = cardinals(x_.root(), "_NET_CLIENT_LIST_STACKING"))
    windows.assign(list->rbegin(), list->rend());
  return windows;
}

std::optional<::Window> XWindowReader::activeWindow() {
  auto active = cardinals(x_.root(), "_NET_ACTIVE_WINDOW");
  if (!active || active->empty() || (*active)[0] == 0)
    return std::nullopt;
  return static_cast<::Window>((*active)[0]);
}

std::optional<unsigned long> XWindowReader::currentDesktop() {
  auto desktop = cardinals(x_.root(), "_NET_CURRENT_DESKTOP");
  if (!desktop || desktop->empty())
    return std::nullopt;
  return (*desktop)[0];
}

std::vector<::Window> XWindowReader::overrideRedirectPopups() {
  std::vector<::Window> popups;
  if (x_.lost())
    return popups;
  ::Window root = 0, parent = 0;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(x_.display(), x_.root(), &root, &parent, &children, &count))
    return popups;
  for (unsigned int i = count; i-- > 0;) {
    ::Window child = children[i];
    if (child == x_.ownWindow())
      continue;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x_.display(), child, &attributes))
      continue;
    if (attributes.override_redirect && attributes.map_state == IsViewable &&
        attributes.c_class == InputOutput)
      popups.push_back(child);
  }
  if (children)
    XFree(children);
  return popups;
}

std::optional<XWindowFacts> XWindowReader::read(::Window window) {
  if (x_.lost() || window == 0)
    return std::nullopt;
  unsigned long firstSerial = x_.nextRequestSerial();
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x_.display(), window, &attributes))
    return std::nullopt;
  XWindowFacts facts;
  facts.id = window;
  facts.overrideRedirect = attributes.override_redirect;
  facts.viewable = attributes.map_state == IsViewable;
  int rootX = 0, rootY = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(x_.display(), window, x_.root(), 0, 0, &rootX, &rootY, &child))
    return std::nullopt;
  facts.client = PixelRect{rootX, rootY, attributes.width, attributes.height};

  if (auto pid = cardinals(window, "_NET_WM_PID"); pid && !pid->empty())
    facts.pid = static_cast<int32_t>((*pid)[0] & 0xffffffffUL);
  if (auto name = bytes(window, "_NET_WM_NAME", x_.atom("UTF8_STRING"))) {
    facts.name = std::move(*name);
  } else {
    XTextProperty text{};
    if (!x_.lost() && XGetWMName(x_.display(), window, &text) && text.value) {
      if (text.encoding == XA_STRING) {
        facts.name =
            latin1ToUtf8(std::string_view(reinterpret_cast<char*>(text.value), text.nitems));
      } else {
        // COMPOUND_TEXT or another encoding: Xlib converts.
        char** list = nullptr;
        int count = 0;
        if (Xutf8TextPropertyToTextList(x_.display(), &text, &list, &count) >= Success && list &&
            count > 0)
          facts.name = list[0];
        if (list)
          XFreeStringList(list);
      }
    }
    if (text.value)
      XFree(text.value);
  }
  facts.types = atomNames(window, "_NET_WM_WINDOW_TYPE");
  facts.states = atomNames(window, "_NET_WM_STATE");
  if (auto desktop = cardinals(window, "_NET_WM_DESKTOP"); desktop && !desktop->empty())
    facts.desktop = (*desktop)[0];
  if (auto opacity = cardinals(window, "_NET_WM_WINDOW_OPACITY"); opacity && !opacity->empty())
    facts.opacity = (*opacity)[0];
  if (auto frame = cardinals(window, "_NET_FRAME_EXTENTS"))
    facts.frameExtents = extentsFromCardinals(*frame);
  if (auto shadow = cardinals(window, "_GTK_FRAME_EXTENTS"))
    facts.shadowExtents = extentsFromCardinals(*shadow);
  if (auto windowClass = bytes(window, "WM_CLASS", XA_STRING))
    facts.windowClass = parseWindowClass(*windowClass);
  facts.gtkApplicationId = bytes(window, "_GTK_APPLICATION_ID");
  // The window may have gone between the first request and the last:
  // then nothing read about it counts. (An unknown atom in a list is no
  // reason to drop the window.)
  if (!x_.sync() || x_.failedOnResourceSince(firstSerial, window))
    return std::nullopt;
  return facts;
}

std::optional<IconImage> XWindowReader::icon(::Window window) {
  auto values = cardinals(window, "_NET_WM_ICON");
  if (!values)
    return std::nullopt;
  return largestIcon(*values);
}

}  // namespace cuh::linux_desktop
