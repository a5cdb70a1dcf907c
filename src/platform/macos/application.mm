// NSApplication and its delegate role.
#include "platform/macos/apple_sdk.h"

#include <cstdlib>

#include "platform/application.h"
#include "platform/macos/services.h"

// Forwards the AppKit delegate messages to the platform delegate. AppKit holds
// its delegate weakly; MacApplication keeps this object.
@interface CUHApplicationDelegateBridge : NSObject <NSApplicationDelegate>
@property(nonatomic) cuh::platform::ApplicationDelegate* target;
@property(nonatomic) BOOL willTerminateForwarded;
@end

@implementation CUHApplicationDelegateBridge

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  (void)notification;
  if (self.target)
    self.target->applicationDidFinishLaunching();
}

- (void)applicationWillTerminate:(NSNotification*)notification {
  (void)notification;
  self.willTerminateForwarded = YES;
  if (self.target)
    self.target->applicationWillTerminate();
}

@end

namespace cuh::macos {
namespace {

class MacApplication final : public platform::Application {
 public:
  MacApplication()
      : application_([NSApplication sharedApplication]),
        bridge_([[CUHApplicationDelegateBridge alloc] init]) {
    application_.delegate = bridge_;
  }

  void setActivationPolicy(platform::ActivationPolicy policy) override {
    [application_ setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy)];
  }

  void setDelegate(platform::ApplicationDelegate* delegate) override { bridge_.target = delegate; }

  int run() override {
    [application_ run];
    return 0;
  }

  [[noreturn]] void terminate() override {
    [application_ terminate:nil];
    // terminate: normally ends the process itself. Should AppKit return
    // instead (it defers termination in some states, e.g. before run), the
    // process still ends here, after the delegate had its
    // applicationWillTerminate.
    if (!bridge_.willTerminateForwarded && bridge_.target) {
      bridge_.target->applicationWillTerminate();
    }
    std::exit(0);
  }

 private:
  NSApplication* application_;
  CUHApplicationDelegateBridge* bridge_;
};

}  // namespace

std::unique_ptr<platform::Application> createApplication() {
  return std::make_unique<MacApplication>();
}

}  // namespace cuh::macos
