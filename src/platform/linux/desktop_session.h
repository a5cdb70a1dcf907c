// DesktopSession: what every service of the Linux desktop shares: the X
// connection, the accessibility bus (when there is one), the desktop files'
// index, and the state that lives for one request only (applications that
// timed out, objects read). The platform brackets each request; a call
// outside one (housekeeping, shutdown) starts from fresh state every time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi_client.h"
#include "platform/linux/bus_connection.h"
#include "platform/linux/desktop_entries.h"
#include "platform/linux/desktop_entries_index.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"
#include "platform/sim/sim_trace.h"

namespace cuh::linux_desktop {

// One process that owns a listed window or an application on the bus, as
// the workspace reports it.
struct ProcessFacts {
  int32_t pid = 0;
  // The process's start time in clock ticks since boot (/proc/PID/stat):
  // with the pid, the identity of one launch.
  uint64_t startTicks = 0;
  bool ownsManagedWindow = false;  // a window of _NET_CLIENT_LIST
  bool active = false;             // owns _NET_ACTIVE_WINDOW
  std::optional<std::string> identifier;
  std::optional<std::string> displayName;
  std::optional<std::string> path;  // desktop file, else executable
};

// The fields of /proc/PID/stat after the command name (which may hold
// anything, spaces and parentheses included), from the state (field 3) on;
// none when the process is gone.
std::optional<std::vector<std::string>> processStatFields(int32_t pid);
// The start time of a process (clock ticks since boot); none when it is
// gone.
std::optional<uint64_t> processStartTicks(int32_t pid);
// /proc/PID/exe; none when unreadable.
std::optional<std::string> processExecutable(int32_t pid);

class DesktopSession {
 public:
  // Opens the display ($DISPLAY when null) and finds the accessibility bus.
  // Null with `error` set when the display cannot be opened; a missing bus
  // is no error.
  static std::unique_ptr<DesktopSession> open(const char* displayName, std::string* error);

  XConnection& x() { return *x_; }
  // --trace FILE: what the helper changed on the desktop.
  sim::Trace& trace() { return trace_; }
  XWindowReader& windows() { return reader_; }
  // The bus client; null without an accessibility bus.
  AtspiClient* atspi();
  BusConnection* bus() { return bus_.get(); }
  // The session bus's enabled switch was looked at again (after the prompt
  // turned it on): reconnects to the bus if it was not there.
  void retryAccessibilityBus();

  // A request starts / ended: what the last one read is dropped, and
  // applications that failed in it are asked again.
  void beginRequest();
  void endRequest();
  // Called first by every service method on the main thread: outside a
  // request nothing read earlier is used.
  void touch();
  // Increments for every fresh request state.
  uint64_t requestGeneration() const { return generation_; }

  // The desktop files, checked against the applications directories once
  // per request and read again only where they changed.
  const DesktopEntries& desktopEntries();

  // The window list of this request: read once, until invalidate().
  const std::vector<XWindowFacts>& windowList();
  // _NET_ACTIVE_WINDOW, read once per request.
  std::optional<::Window> activeWindow();
  // _NET_CURRENT_DESKTOP, read once per request with the window list it
  // places on screen.
  std::optional<unsigned long> currentDesktop();
  // Forgets what this request read of the windows (they change under a
  // launch that waits).
  void invalidateWindows();

  // Every process that owns a listed window or an application on the bus,
  // in launch order.
  const std::vector<ProcessFacts>& processes();
  // One of them (the same facts); none when `pid` is not one.
  std::optional<ProcessFacts> process(int32_t pid);
  // The one that owns the active window; none when no listed window is
  // active.
  std::optional<ProcessFacts> frontmostProcess();
  // The application on the bus of `pid` (its unique name); none when it
  // has none.
  std::optional<std::string> busNameOf(int32_t pid);
  // The application roots on the bus, with their pids.
  const std::vector<std::pair<AccessibleRef, int32_t>>& busApplications();

 private:
  DesktopSession(std::unique_ptr<XConnection> x);
  void connectBus();
  void dropRequestState();
  ProcessFacts factsOf(int32_t pid, const XWindowFacts* window, const std::string* accessibleName);
  // The facts of a process that owns a listed window; none when it owns
  // none. knownWindowOwner reads each pid once per request.
  std::optional<ProcessFacts> windowOwner(int32_t pid);
  const std::optional<ProcessFacts>& knownWindowOwner(int32_t pid);

  std::unique_ptr<XConnection> x_;
  sim::Trace trace_;
  XWindowReader reader_;
  std::unique_ptr<BusConnection> bus_;
  std::unique_ptr<AtspiClient> atspi_;
  bool inRequest_ = false;
  uint64_t generation_ = 1;

  // Kept across requests: answers as a fresh reading would.
  DesktopEntriesIndex entriesIndex_;
  // Per request.
  const DesktopEntries* entries_ = nullptr;
  std::optional<std::vector<XWindowFacts>> windowList_;
  std::optional<std::optional<::Window>> active_;
  std::optional<std::optional<unsigned long>> currentDesktop_;
  std::optional<std::vector<std::pair<AccessibleRef, int32_t>>> busApplications_;
  std::optional<std::vector<ProcessFacts>> processes_;
  std::map<int32_t, std::optional<ProcessFacts>> windowOwners_;
  // A unique bus name's process never changes: kept for the session.
  std::map<std::string, int32_t> pidOfBusName_;
};

}  // namespace cuh::linux_desktop
