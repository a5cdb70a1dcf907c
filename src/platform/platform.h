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

  // Told by the response writer right after it wrote a response line, with
  // the number of lines written so far (1 for the first). Called on whichever
  // thread wrote the line. The simulated desktop fires its script rules from
  // it; the real platform ignores it.
  virtual void responseWritten(uint64_t count) { (void)count; }
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
