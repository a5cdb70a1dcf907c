#include "platform/linux/x_connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

// The extension-record calls (XAddExtension, XESetWireToError) live in
// Xlib's internal header, which also defines min and max as macros: it comes
// last, and the macros go.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace cuh::linux_desktop {
namespace {

// Xlib's process-wide I/O error handler prints before the per-display exit
// handler runs; this one stays silent (the exit handler records the loss).
int silentIOError(Display*) {
  return 0;
}

constexpr size_t kMaxRecordedErrors = 256;

XExtData** extensionList(Display* display) {
  XEDataObject object;
  object.display = display;
  return XEHeadOfExtensionList(object);
}

int freeNothing(XExtData*) {
  return 0;
}

}  // namespace

std::unique_ptr<XConnection> XConnection::open(const char* displayName, std::string* error) {
  XSetIOErrorHandler(silentIOError);
  Display* display = XOpenDisplay(displayName);
  if (!display) {
    const char* shown = displayName ? displayName : XDisplayName(nullptr);
    if (error)
      *error = std::string("computer-use-helper: cannot open X display \"") + (shown ? shown : "") +
               "\"";
    return nullptr;
  }
  return std::unique_ptr<XConnection>(new XConnection(display));
}

XConnection::XConnection(Display* display)
    : display_(display),
      root_(DefaultRootWindow(display)),
      name_(DisplayString(display)),
      xcb_(XGetXCBConnection(display)) {
  // Per-display routing of errors to this object: a private extension
  // record holds the pointer, and the wire-to-error hook of every error
  // code records the error and keeps it from Xlib's printing handler.
  XExtCodes* codes = XAddExtension(display_);
  extensionNumber_ = codes->extension;
  auto* data = static_cast<XExtData*>(Xcalloc(1, sizeof(XExtData)));
  data->number = extensionNumber_;
  data->private_data = reinterpret_cast<XPointer>(this);
  data->free_private = freeNothing;
  XAddToExtensionList(extensionList(display_), data);
  for (int code = 0; code < 256; ++code)
    previousWireToError_[code] = XESetWireToError(display_, code, onWireError);
  XSetIOErrorExitHandler(display_, onConnectionLost, this);

  XSetWindowAttributes attributes{};
  attributes.event_mask = PropertyChangeMask;
  ownWindow_ = XCreateWindow(display_, root_, -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                             CWEventMask, &attributes);
}

XConnection::~XConnection() {
  if (!lost_ && ownWindow_)
    XDestroyWindow(display_, ownWindow_);
  XCloseDisplay(display_);
}

int XConnection::onWireError(Display* display, XErrorEvent* event, xError* wire) {
  // Find ourselves by the extension number recorded on the display: each
  // connection has its own, so several connections never mix up errors.
  for (XExtData* data = *extensionList(display); data; data = data->next) {
    if (data->free_private != freeNothing)
      continue;
    auto* self = reinterpret_cast<XConnection*>(data->private_data);
    WireToError previous = self->previousWireToError_[event->error_code];
    if (previous && previous != onWireError)
      previous(display, event, wire);
    self->record(*event);
    return False;  // handled: Xlib's error handler is not called
  }
  return True;
}

void XConnection::record(const XErrorEvent& event) {
  XProtocolError error;
  error.serial = event.serial;
  error.errorCode = event.error_code;
  error.requestCode = event.request_code;
  error.resourceId = event.resourceid;
  errors_[event.serial] = error;
  while (errors_.size() > kMaxRecordedErrors)
    errors_.erase(errors_.begin());
}

void XConnection::onConnectionLost(Display*, void* self) {
  // Returning (instead of exiting) leaves the display unusable but alive;
  // every later Xlib call on it returns at once.
  static_cast<XConnection*>(self)->lost_ = true;
}

int XConnection::fileDescriptor() const {
  return ConnectionNumber(display_);
}

Atom XConnection::atom(std::string_view name) {
  if (lost_)
    return 0;
  auto found = atoms_.find(name);
  if (found != atoms_.end())
    return found->second;
  Atom atom = XInternAtom(display_, std::string(name).c_str(), False);
  if (lost_)
    return 0;
  atoms_.emplace(std::string(name), atom);
  return atom;
}

void XConnection::internAtoms(const std::vector<std::string_view>& names) {
  if (lost())
    return;
  std::vector<std::string> missing;
  for (std::string_view name : names) {
    if (atoms_.find(name) == atoms_.end())
      missing.emplace_back(name);
  }
  if (missing.empty())
    return;
  std::vector<char*> pointers;
  for (std::string& name : missing)
    pointers.push_back(name.data());
  std::vector<Atom> interned(missing.size(), None);
  if (!XInternAtoms(display_, pointers.data(), static_cast<int>(pointers.size()), False,
                    interned.data()) ||
      lost())
    return;
  for (size_t i = 0; i < missing.size(); ++i)
    atoms_.emplace(std::move(missing[i]), interned[i]);
}

std::vector<std::string> XConnection::atomNames(const std::vector<Atom>& atoms) {
  // The names not known yet are asked together, then remembered.
  std::vector<std::pair<Atom, xcb_get_atom_name_cookie_t>> asked;
  for (Atom atom : atoms) {
    if (atom != None && !lost() && atomNames_.find(atom) == atomNames_.end() &&
        std::none_of(asked.begin(), asked.end(), [&](const auto& a) { return a.first == atom; }))
      asked.emplace_back(atom, xcb_get_atom_name(xcb_, static_cast<xcb_atom_t>(atom)));
  }
  for (const auto& [atom, cookie] : asked) {
    xcb_generic_error_t* error = nullptr;
    std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
        xcb_get_atom_name_reply(xcb_, cookie, &error), &std::free);
    std::free(error);
    if (reply)
      atomNames_[atom] =
          std::string(xcb_get_atom_name_name(reply.get()),
                      static_cast<size_t>(xcb_get_atom_name_name_length(reply.get())));
    else if (!lost())
      atomNames_[atom] = "";  // unknown to the server: stays unknown
  }
  std::vector<std::string> names;
  for (Atom atom : atoms) {
    auto found = atomNames_.find(atom);
    names.push_back(found == atomNames_.end() ? std::string() : found->second);
  }
  return names;
}

bool XConnection::sync() {
  if (lost_)
    return false;
  XSync(display_, False);
  return !lost_;
}

unsigned long XConnection::nextRequestSerial() const {
  return NextRequest(display_);
}

std::optional<XProtocolError> XConnection::firstErrorSince(unsigned long serial) const {
  auto found = errors_.lower_bound(serial);
  if (found == errors_.end())
    return std::nullopt;
  return found->second;
}

bool XConnection::failedOnResourceSince(unsigned long serial, unsigned long resource) const {
  for (auto it = errors_.lower_bound(serial); it != errors_.end(); ++it) {
    if (it->second.resourceId == resource)
      return true;
  }
  return false;
}

Time XConnection::serverTime() {
  if (lost_ || !ownWindow_)
    return 0;
  Atom property = atom("_CUH_TIMESTAMP");
  unsigned char nothing = 0;
  XChangeProperty(display_, ownWindow_, property, XA_STRING, 8, PropModeReplace, &nothing, 0);
  XFlush(display_);
  // The notification comes back within one round trip; wait for it on the
  // descriptor so that other events stay queued for their reader.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  XEvent event;
  while (!lost_) {
    if (XCheckTypedWindowEvent(display_, ownWindow_, PropertyNotify, &event) &&
        event.xproperty.atom == property)
      return event.xproperty.time;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return 0;
    pollfd descriptor{fileDescriptor(), POLLIN, 0};
    if (poll(&descriptor, 1, static_cast<int>(left.count())) > 0)
      XEventsQueued(display_, QueuedAfterReading);
  }
  return 0;
}

}  // namespace cuh::linux_desktop
