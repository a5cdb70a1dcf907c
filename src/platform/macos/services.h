// The adapter's services, one per file, assembled by macos_platform.mm.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/quartz/events.h"

namespace cuh::macos {

// The accessibility service. After one call to an application does not
// complete (it timed out, or the application went away), further calls to
// that application fail at once until requestEnded().
class MacAccessibilityService : public platform::Accessibility {
 public:
  // Any thread.
  virtual void requestEnded() = 0;
};
std::unique_ptr<MacAccessibilityService> createAccessibility();
std::unique_ptr<platform::WindowServer> createWindowServer();
std::unique_ptr<platform::Workspace> createWorkspace();
std::unique_ptr<quartz::Events> createEvents();
std::unique_ptr<platform::ProcessServices> createProcessServices();
std::unique_ptr<platform::MainLoop> createMainLoop();
std::unique_ptr<platform::Application> createApplication();

}  // namespace cuh::macos
