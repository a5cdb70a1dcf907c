// The macOS platform: the Apple services behind the platform interface.
#include "platform/macos/apple_sdk.h"

#include "platform/macos/macos_platform.h"
#include "platform/macos/services.h"
#include "platform/quartz/services.h"

namespace cuh::macos {
namespace {

class MacPlatform final : public platform::Platform {
 public:
  platform::Accessibility& accessibility() override { return *accessibility_; }
  platform::WindowServer& windowServer() override { return *windowServer_; }
  platform::Workspace& workspace() override { return *workspace_; }
  platform::ForegroundProtection& foregroundProtection() override {
    return quartz_.foregroundProtection();
  }
  platform::BackgroundInput& backgroundInput() override { return quartz_.backgroundInput(); }
  platform::ProcessServices& process() override { return *process_; }
  platform::MainLoop& mainLoop() override { return *mainLoop_; }
  platform::Application& application() override { return *application_; }
  // A response ends the request in flight (requests run one at a time).
  void willWriteResponse(uint64_t) override { accessibility_->requestEnded(); }

 private:
  std::unique_ptr<MacAccessibilityService> accessibility_ = createAccessibility();
  std::unique_ptr<platform::WindowServer> windowServer_ = createWindowServer();
  std::unique_ptr<platform::Workspace> workspace_ = createWorkspace();
  std::unique_ptr<quartz::Events> events_ = createEvents();
  std::unique_ptr<platform::ProcessServices> process_ = createProcessServices();
  std::unique_ptr<platform::MainLoop> mainLoop_ = createMainLoop();
  std::unique_ptr<platform::Application> application_ = createApplication();
  // Foreground protection and background input over the Quartz events;
  // declared last, so it goes first and takes its taps down while the
  // services it uses are still there.
  quartz::Services quartz_{*this, *events_};
};

}  // namespace

std::unique_ptr<platform::Platform> createMacPlatform(std::string* error) {
  // AppKit must be set up on the main thread; the main run loop, which serves
  // the main loop's work and the event taps, is that thread's.
  if (![NSThread isMainThread]) {
    if (error)
      *error = "The macOS helper must start on the main thread.";
    return nullptr;
  }
  return std::make_unique<MacPlatform>();
}

}  // namespace cuh::macos
