// XConnection: one connection to an X display, with the helper's own error
// handling. An X protocol error (a window that vanished between two calls)
// is recorded on the connection, never printed and never fatal; a lost
// connection (the server went away) is recorded too, and every later call
// fails quietly instead of ending the process. Nothing goes to stderr.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuh::linux_desktop {

// One X protocol error as the server reported it.
struct XProtocolError {
  unsigned long serial = 0;
  unsigned char errorCode = 0;
  unsigned char requestCode = 0;
  unsigned long resourceId = 0;
};

class XConnection {
 public:
  // Opens `displayName` (null: $DISPLAY). On failure returns null and sets
  // `error` to one line naming the display.
  static std::unique_ptr<XConnection> open(const char* displayName, std::string* error);
  ~XConnection();
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  Display* display() const { return display_; }
  // The same connection through XCB, for requests whose replies are
  // awaited together (one round trip for many). XCB hands a request's
  // error to whoever reads its reply, so nothing is printed either.
  xcb_connection_t* xcb() const { return xcb_; }
  ::Window root() const { return root_; }
  // The descriptor to wait on for incoming events.
  int fileDescriptor() const;
  // The display's name as opened (":1").
  const std::string& name() const { return name_; }

  // True once the connection is gone. Calls after that fail (reads give
  // nothing); the caller ends as at the end of input.
  bool lost() const { return lost_ || xcb_connection_has_error(xcb_) != 0; }

  // The atom for `name`, interned once per connection. 0 when the
  // connection is lost.
  Atom atom(std::string_view name);
  // Interns every name not interned yet, in one round trip.
  void internAtoms(const std::vector<std::string_view>& names);
  // The names of atoms (in their order), asked of the server once per
  // connection and together; an atom the server does not know reads as "".
  std::vector<std::string> atomNames(const std::vector<Atom>& atoms);

  // Round trip: every request sent so far has been processed and its errors
  // recorded. False when the connection is lost.
  bool sync();

  // Errors are recorded per request serial: errorsSince(serial) reports the
  // first error of a request sent at or after `serial` (after a sync).
  unsigned long nextRequestSerial() const;
  std::optional<XProtocolError> firstErrorSince(unsigned long serial) const;
  // Whether a request sent at or after `serial` failed on `resource` (a
  // window that vanished).
  bool failedOnResourceSince(unsigned long serial, unsigned long resource) const;

  // The server's current time, for event and message timestamps that must
  // never be CurrentTime: read by touching a property of the connection's
  // own unmapped window and waiting for the notification. 0 when lost.
  Time serverTime();

  // A window of this connection (unmapped, input-only), for timestamps and
  // as a source of messages.
  ::Window ownWindow() const { return ownWindow_; }

 private:
  explicit XConnection(Display* display);
  static int onWireError(Display* display, XErrorEvent* event, xError* wire);
  static void onConnectionLost(Display* display, void* self);
  void record(const XErrorEvent& event);

  Display* display_;
  ::Window root_;
  ::Window ownWindow_ = 0;
  std::string name_;
  bool lost_ = false;
  int extensionNumber_ = 0;
  xcb_connection_t* xcb_ = nullptr;
  std::map<std::string, Atom, std::less<>> atoms_;
  std::map<Atom, std::string> atomNames_;
  // The last errors, by serial (bounded: old entries are dropped).
  std::map<unsigned long, XProtocolError> errors_;
  using WireToError = int (*)(Display*, XErrorEvent*, xError*);
  std::array<WireToError, 256> previousWireToError_{};
};

// Runs a block of X requests and tells whether any of them failed:
//   XErrorScope scope(x);  ...requests...;  if (scope.failed()) ...
// failed() makes one round trip.
class XErrorScope {
 public:
  explicit XErrorScope(XConnection& connection)
      : connection_(connection), serial_(connection.nextRequestSerial()) {}
  bool failed() { return !connection_.sync() || connection_.firstErrorSince(serial_).has_value(); }

 private:
  XConnection& connection_;
  unsigned long serial_;
};

}  // namespace cuh::linux_desktop
