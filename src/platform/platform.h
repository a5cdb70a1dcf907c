// The platform layer: every service the helper uses, behind one object. The
// core sees only these interfaces; each backend (the real macOS services, the
// simulated desktop) implements all of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/accessibility.h"
#include "platform/application.h"
#include "platform/background_input.h"
#include "platform/foreground_protection.h"
#include "platform/main_loop.h"
#include "platform/process.h"
#include "platform/window_server.h"
#include "platform/workspace.h"

namespace cuh::platform {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual Accessibility& accessibility() = 0;
  virtual WindowServer& windowServer() = 0;
  virtual Workspace& workspace() = 0;
  virtual ForegroundProtection& foregroundProtection() = 0;
  virtual BackgroundInput& backgroundInput() = 0;
  virtual ProcessServices& process() = 0;
  virtual MainLoop& mainLoop() = 0;
  virtual Application& application() = 0;

  // Told by the dispatcher on the main thread as it starts a request, before
  // the request's first platform call. Requests never overlap: each
  // requestStarted is followed by exactly one requestEnded before the next.
  // From here on a backend may keep what it fetched (object lookups,
  // attributes read ahead of time) to answer later calls of the same
  // request, but only while a fresh call would still answer the same: after
  // the helper's own set, perform or posted event, and after a wait (a sleep,
  // a run of the main loop), calls must reach the application again.
  virtual void requestStarted() {}
  // Told when that request is over: after its last platform call (the
  // restore of borrowed focus state included) and before its response line
  // is written. Everything kept for the request is dropped here; calls made
  // outside a request (the housekeeping timer, tap callbacks, shutdown)
  // never use it. A helper that ends with a request in flight may not tell.
  virtual void requestEnded() {}

  // Told by the response writer as it writes a response line, just before
  // the line's bytes go out, with the line's number (1 for the first); on
  // whichever thread writes it, under the writer's lock, so in line order.
  // What the platform starts here is ordered before anything a client sends
  // after reading the line. Must not throw and must not write a response.
  // The simulated desktop fires its script rules from it; the real platform
  // ignores it.
  virtual void willWriteResponse(uint64_t number) { (void)number; }
};

struct PlatformOptions {
  std::optional<std::string> scenePath;  // --scene
  std::optional<std::string> tracePath;  // --trace
};

// The platform the command line asks for: the simulated desktop with a scene,
// or with the built-in demo scene where no real backend exists; the real
// services otherwise. On failure returns null and sets `error` to the one line
// to print before exiting with status 2.
std::unique_ptr<Platform> createPlatform(const PlatformOptions& options, std::string* error);

}  // namespace cuh::platform
