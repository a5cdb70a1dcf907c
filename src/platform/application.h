// The application object (NSApplication) and its delegate role.
#pragma once

#include "platform/workspace.h"

namespace cuh::platform {

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // Launching has finished; the main loop is running.
  virtual void applicationDidFinishLaunching() = 0;
  // The application is about to end.
  virtual void applicationWillTerminate() = 0;
  // The desktop went away under the application (its display connection
  // was lost): it ends as at the end of its input.
  virtual void desktopDidDisconnect() {}
};

class Application {
 public:
  virtual ~Application() = default;

  virtual void setActivationPolicy(ActivationPolicy policy) = 0;
  // The application holds its delegate weakly: the caller keeps it alive.
  virtual void setDelegate(ApplicationDelegate* delegate) = 0;
  // Runs the main loop on the calling (main) thread: calls
  // applicationDidFinishLaunching first, then serves work until terminate.
  // Returns the process exit status where the platform returns at all.
  virtual int run() = 0;
  // terminate: runs applicationWillTerminate, then ends the process with
  // status 0. Never returns to its caller; work still queued never runs.
  virtual void terminate() = 0;
};

}  // namespace cuh::platform
