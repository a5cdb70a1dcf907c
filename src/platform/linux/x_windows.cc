#include "platform/linux/x_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

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

// An XCB reply, freed when it goes.
template <class T>
struct Reply : std::unique_ptr<T, decltype(&std::free)> {
  explicit Reply(T* reply) : std::unique_ptr<T, decltype(&std::free)>(reply, &std::free) {}
};

// The properties a window's row is built from, in the order they are asked.
enum PropertyIndex {
  kPid,
  kNetName,
  kWmName,
  kWindowType,
  kState,
  kDesktop,
  kOpacity,
  kFrameExtents,
  kShadowExtents,
  kClass,
  kApplicationId,
  kPropertyCount
};
struct PropertyRequest {
  const char* name;
  const char* type;  // null: any type
};
constexpr std::array<PropertyRequest, kPropertyCount> kProperties{{
    {"_NET_WM_PID", nullptr},
    {"_NET_WM_NAME", "UTF8_STRING"},
    {"WM_NAME", nullptr},
    {"_NET_WM_WINDOW_TYPE", nullptr},
    {"_NET_WM_STATE", nullptr},
    {"_NET_WM_DESKTOP", nullptr},
    {"_NET_WM_WINDOW_OPACITY", nullptr},
    {"_NET_FRAME_EXTENTS", nullptr},
    {"_GTK_FRAME_EXTENTS", nullptr},
    {"WM_CLASS", "STRING"},
    {"_GTK_APPLICATION_ID", nullptr},
}};

// The requests of one window, sent; their replies are read later.
struct WindowRequests {
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  std::array<xcb_get_property_cookie_t, kPropertyCount> properties;
};

WindowRequests sendRequests(XConnection& x, ::Window window) {
  xcb_connection_t* c = x.xcb();
  auto id = static_cast<xcb_window_t>(window);
  WindowRequests requests{};
  requests.attributes = xcb_get_window_attributes(c, id);
  requests.geometry = xcb_get_geometry(c, id);
  requests.origin = xcb_translate_coordinates(c, id, static_cast<xcb_window_t>(x.root()), 0, 0);
  for (size_t i = 0; i < kProperties.size(); ++i) {
    Atom type = kProperties[i].type ? x.atom(kProperties[i].type) : 0;
    requests.properties[i] = xcb_get_property(
        c, 0, id, static_cast<xcb_atom_t>(x.atom(kProperties[i].name)),
        type ? static_cast<xcb_atom_t>(type) : static_cast<xcb_atom_t>(XCB_GET_PROPERTY_TYPE_ANY),
        0, static_cast<uint32_t>(kMaxPropertyLongs));
  }
  return requests;
}

// One property's reply: none when absent, of another type, or failed (the
// window vanished: then `failed` is set).
struct PropertyValue {
  Reply<xcb_get_property_reply_t> reply{nullptr};
  bool failed = false;
  bool present() const { return reply && reply->type != XCB_NONE; }
  std::vector<unsigned long> cardinals() const {
    std::vector<unsigned long> values;
    if (!present() || reply->format != 32)
      return values;
    auto* items = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    int count = xcb_get_property_value_length(reply.get()) / 4;
    values.assign(items, items + count);
    return values;
  }
  std::optional<std::string> bytes() const {
    if (!present() || reply->format != 8)
      return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
  }
};

PropertyValue propertyReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  PropertyValue value;
  value.reply = Reply<xcb_get_property_reply_t>(xcb_get_property_reply(c, cookie, &error));
  value.failed = error != nullptr || !value.reply;
  std::free(error);
  return value;
}

// WM_NAME in its encoding: ISO 8859-1 for STRING; COMPOUND_TEXT and
// others through Xlib's conversion (no request is made).
std::optional<std::string> legacyName(XConnection& x, const PropertyValue& name) {
  if (!name.present() || name.reply->format != 8)
    return std::nullopt;
  auto text = name.bytes();
  if (name.reply->type == XA_STRING)
    return latin1ToUtf8(*text);
  XTextProperty property{};
  property.value = reinterpret_cast<unsigned char*>(text->data());
  property.encoding = name.reply->type;
  property.format = 8;
  property.nitems = text->size();
  char** list = nullptr;
  int count = 0;
  std::optional<std::string> result;
  if (Xutf8TextPropertyToTextList(x.display(), &property, &list, &count) >= Success && list &&
      count > 0)
    result = list[0];
  if (list)
    XFreeStringList(list);
  return result;
}

// What readReplies gives besides the facts: the type and state atoms,
// named later for all windows together.
struct ReadWindow {
  XWindowFacts facts;
  std::vector<Atom> typeAtoms;
  std::vector<Atom> stateAtoms;
};

// Reads every reply of one window's requests (all of them, so none is left
// pending). None when the window does not exist or any request failed on
// it (it vanished while it was read).
std::optional<ReadWindow> readReplies(XConnection& x, ::Window window, WindowRequests& requests) {
  xcb_connection_t* c = x.xcb();
  xcb_generic_error_t* errors[3] = {nullptr, nullptr, nullptr};
  Reply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, requests.attributes, &errors[0]));
  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, requests.geometry, &errors[1]));
  Reply<xcb_translate_coordinates_reply_t> origin(
      xcb_translate_coordinates_reply(c, requests.origin, &errors[2]));
  bool failed = !attributes || !geometry || !origin;
  for (xcb_generic_error_t* error : errors) {
    failed = failed || error;
    std::free(error);
  }
  std::array<PropertyValue, kPropertyCount> values;
  for (size_t i = 0; i < kPropertyCount; ++i) {
    values[i] = propertyReply(c, requests.properties[i]);
    failed = failed || values[i].failed;
  }
  if (failed)
    return std::nullopt;

  ReadWindow read;
  XWindowFacts& facts = read.facts;
  facts.id = window;
  facts.overrideRedirect = attributes->override_redirect;
  facts.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  facts.client = PixelRect{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
  if (auto pid = values[kPid].cardinals(); !pid.empty())
    facts.pid = static_cast<int32_t>(pid[0] & 0xffffffffUL);
  facts.name = values[kNetName].bytes();
  if (!facts.name)
    facts.name = legacyName(x, values[kWmName]);
  for (unsigned long atom : values[kWindowType].cardinals())
    read.typeAtoms.push_back(atom);
  for (unsigned long atom : values[kState].cardinals())
    read.stateAtoms.push_back(atom);
  if (auto desktop = values[kDesktop].cardinals(); !desktop.empty())
    facts.desktop = desktop[0];
  if (auto opacity = values[kOpacity].cardinals(); !opacity.empty())
    facts.opacity = opacity[0];
  if (values[kFrameExtents].present())
    facts.frameExtents = extentsFromCardinals(values[kFrameExtents].cardinals());
  if (values[kShadowExtents].present())
    facts.shadowExtents = extentsFromCardinals(values[kShadowExtents].cardinals());
  if (auto windowClass = values[kClass].bytes())
    facts.windowClass = parseWindowClass(*windowClass);
  facts.gtkApplicationId = values[kApplicationId].bytes();
  return read;
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
  auto atoms = cardinals(window, property);
  if (!atoms || atoms->empty())
    return {};
  return x_.atomNames(std::vector<Atom>(atoms->begin(), atoms->end()));
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

std::optional<RootPoint> XWindowReader::pointer() {
  if (x_.lost())
    return std::nullopt;
  ::Window root = 0;
  ::Window child = 0;
  RootPoint at;
  int windowX = 0;
  int windowY = 0;
  unsigned mask = 0;
  if (!XQueryPointer(x_.display(), x_.root(), &root, &child, &at.x, &at.y, &windowX, &windowY,
                     &mask))
    return std::nullopt;
  return at;
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
  xcb_connection_t* c = x_.xcb();
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(c, xcb_query_tree(c, static_cast<xcb_window_t>(x_.root())), nullptr));
  if (!tree)
    return popups;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int count = xcb_query_tree_children_length(tree.get());
  // Every child's attributes asked together: one round trip.
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  for (int i = 0; i < count; ++i)
    cookies.push_back(xcb_get_window_attributes(c, children[i]));
  for (int i = count; i-- > 0;) {
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, cookies[static_cast<size_t>(i)], nullptr));
    if (children[i] == x_.ownWindow() || !attributes)
      continue;
    if (attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
        attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT)
      popups.push_back(children[i]);
  }
  return popups;
}

std::optional<XWindowFacts> XWindowReader::read(::Window window) {
  return std::move(readAll({window}).front());
}

std::vector<std::optional<XWindowFacts>> XWindowReader::readAll(
    const std::vector<::Window>& windows) {
  std::vector<std::optional<XWindowFacts>> facts(windows.size());
  if (x_.lost())
    return facts;
  std::vector<std::string_view> names;
  for (const PropertyRequest& property : kProperties) {
    names.push_back(property.name);
    if (property.type)
      names.push_back(property.type);
  }
  x_.internAtoms(names);
  // Every request of every window is sent before the first reply is read.
  std::vector<WindowRequests> requests;
  for (::Window window : windows)
    requests.push_back(sendRequests(x_, window));
  std::vector<std::optional<ReadWindow>> read;
  std::vector<Atom> typesAndStates;
  for (size_t i = 0; i < windows.size(); ++i) {
    read.push_back(readReplies(x_, windows[i], requests[i]));
    if (read.back()) {
      typesAndStates.insert(typesAndStates.end(), read.back()->typeAtoms.begin(),
                            read.back()->typeAtoms.end());
      typesAndStates.insert(typesAndStates.end(), read.back()->stateAtoms.begin(),
                            read.back()->stateAtoms.end());
    }
  }
  // The names of the window types and states, asked together (the
  // connection remembers them: later listings ask for none).
  x_.atomNames(typesAndStates);
  for (size_t i = 0; i < read.size(); ++i) {
    if (!read[i])
      continue;
    read[i]->facts.types = x_.atomNames(read[i]->typeAtoms);
    read[i]->facts.states = x_.atomNames(read[i]->stateAtoms);
    facts[i] = std::move(read[i]->facts);
  }
  return facts;
}

std::vector<XWindowFacts> XWindowReader::windowList() {
  std::vector<::Window> windows = overrideRedirectPopups();
  std::vector<::Window> managed = clientListStacking();
  windows.insert(windows.end(), managed.begin(), managed.end());
  std::vector<XWindowFacts> list;
  for (std::optional<XWindowFacts>& facts : readAll(windows)) {
    if (facts && facts->pid)
      list.push_back(std::move(*facts));
  }
  return list;
}

std::optional<IconImage> XWindowReader::icon(::Window window) {
  auto values = cardinals(window, "_NET_WM_ICON");
  if (!values)
    return std::nullopt;
  return largestIcon(*values);
}

}  // namespace cuh::linux_desktop
