// The first run on a Mac (scripts/mac-selfcheck.sh builds and starts it):
// what only a real Mac can show, one line per check, "pass", "FAIL" or
// "skip". docs/macos.md says what each failure means. Exit status 0 when no
// check failed. No GoogleTest: it runs on a bare Mac with the build's own
// dependencies. Start it on the main thread, outside any run of the loop.
#include "platform/macos/apple_sdk.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/loop_contract.h"
#include "platform/macos/macos_platform.h"
#include "platform/macos/services.h"
#include "platform/quartz/events.h"
#include "platform/value.h"
#include "platform/window_server.h"

namespace {

int failedChecks = 0;

void report(bool passed, const std::string& check, const std::string& detail = {}) {
  std::printf("%s  %s%s%s\n", passed ? "pass" : "FAIL", check.c_str(), detail.empty() ? "" : ": ",
              detail.c_str());
  if (!passed)
    ++failedChecks;
}

void skip(const std::string& check, const std::string& why) {
  std::printf("skip  %s: %s\n", check.c_str(), why.c_str());
}

// Builds an "other" event the way the synthetic window state and the
// activation message do, and reads its fields back through the Quartz event
// and AppKit's view of it.
void checkOtherEvent(cuh::quartz::Events& events,
                     const std::string& check,
                     const cuh::quartz::OtherEventParams& params) {
  constexpr int64_t kMarker = 0x5EED;
  cuh::quartz::Event event = events.createOtherEvent(params);
  if (!event) {
    report(false, check, "not built (otherEventWithType: refused the type)");
    return;
  }
  event->setIntegerValueField(cuh::quartz::kCGEventSourceUserData, kMarker);
  std::string wrong;
  if (event->type() != params.type)
    wrong += " type " + std::to_string(event->type());
  if (event->integerValueField(cuh::quartz::kCGEventSourceUserData) != kMarker)
    wrong += " user data " +
             std::to_string(event->integerValueField(cuh::quartz::kCGEventSourceUserData));
  std::optional<cuh::quartz::AppKitEventView> view = event->appKitView();
  if (!view) {
    wrong += " AppKit cannot read it back";
  } else {
    if (view->windowNumber != params.windowNumber)
      wrong += " window number " + std::to_string(view->windowNumber);
    if (view->subtype != params.subtype)
      wrong += " subtype " + std::to_string(view->subtype);
    if ((view->modifierFlags & params.modifierFlags) != params.modifierFlags)
      wrong += " modifier flags " + std::to_string(view->modifierFlags);
  }
  report(wrong.empty(), check, wrong.empty() ? "built and read back" : "read back:" + wrong);
}

void checkEvents(cuh::quartz::Events& events) {
  cuh::quartz::OtherEventParams windowState;
  windowState.type = cuh::quartz::kEventTypeWindowState;
  windowState.windowNumber = 4242;
  windowState.subtype = -0x8000;
  windowState.timestamp = NSProcessInfo.processInfo.systemUptime;
  checkOtherEvent(events, "window-state event (type 21)", windowState);

  cuh::quartz::OtherEventParams activation;
  activation.type = cuh::quartz::NSEventTypeAppKitDefined;
  activation.windowNumber = 4242;
  activation.subtype = cuh::quartz::NSEventSubtypeApplicationActivated;
  activation.modifierFlags =
      cuh::quartz::kCGEventFlagMaskControl | cuh::quartz::kCGEventFlagMaskAlternate;
  activation.timestamp = NSProcessInfo.processInfo.systemUptime;
  checkOtherEvent(events, "activation event (type 13)", activation);

  // Informational: either answer is a working helper.
  report(true, "window location of mouse events",
         events.hasWindowLocation()
             ? "CGEventSetWindowLocation found"
             : "CGEventSetWindowLocation missing; events carry their screen location only");
}

void checkLoop(cuh::platform::MainLoop& loop) {
  cuh::testing::LoopUnderTest subject{loop};
  for (const cuh::testing::LoopContractCase& contract : cuh::testing::loopContractCases()) {
    std::string outcome = contract.run(subject);
    report(outcome.empty(), std::string("main loop: ") + contract.name, outcome);
  }
}

// Two lookups of one running application must be one application to the
// adapter, whatever isEqual: says of the two objects.
void checkIdentity(cuh::platform::Workspace& workspace) {
  const std::string check = "two lookups of one running application";
  cuh::platform::RunningApplicationRef first = workspace.frontmostApplication();
  if (!first) {
    std::vector<cuh::platform::RunningApplicationRef> running = workspace.runningApplications();
    if (!running.empty())
      first = running.front();
  }
  if (!first) {
    skip(check, "no running application is listed");
    return;
  }
  const int32_t pid = first->processIdentifier();
  cuh::platform::RunningApplicationRef second =
      workspace.runningApplicationWithProcessIdentifier(pid);
  if (!second) {
    report(false, check, "pid " + std::to_string(pid) + " is not found by its pid");
    return;
  }
  NSRunningApplication* a = [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
  NSRunningApplication* b = [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
  const std::string detail = "pid " + std::to_string(pid) + ", launch date " +
                             (a.launchDate ? "known" : "unknown") +
                             ", isEqual: " + (a && b && [a isEqual:b] ? "yes" : "no");
  report(first->isEqual(*second) && second->isEqual(*first), check, detail);
}

void checkWithPermission(cuh::platform::Platform& platform) {
  cuh::platform::Accessibility& ax = platform.accessibility();
  if (!ax.isProcessTrusted()) {
    const std::string why =
        "no Accessibility permission for the application that started this check";
    skip("window list", why);
    skip("an attribute of the frontmost application", why);
    return;
  }
  std::optional<cuh::platform::Value> rows =
      platform.windowServer().copyWindowInfo(cuh::platform::kCGWindowListOptionOnScreenOnly |
                                                 cuh::platform::kCGWindowListExcludeDesktopElements,
                                             cuh::platform::kNullWindowID);
  const cuh::platform::Array* list = rows ? rows->as<cuh::platform::Array>() : nullptr;
  report(list != nullptr, "window list",
         list ? std::to_string(list->size()) + " windows on screen" : "no list");

  const std::string check = "an attribute of the frontmost application";
  cuh::platform::RunningApplicationRef front = platform.workspace().frontmostApplication();
  if (!front) {
    skip(check, "no application is frontmost");
    return;
  }
  cuh::platform::AXElement app = ax.createApplication(front->processIdentifier());
  cuh::platform::AXResult<cuh::platform::Value> title = ax.copyAttributeValue(app, "AXTitle");
  const std::string* text = title.value ? title.value->as<std::string>() : nullptr;
  report(title.ok(), check,
         title.ok() ? "AXTitle " + (text ? "\"" + *text + "\"" : std::string("(not text)"))
                    : "AXTitle failed with " + std::to_string(static_cast<int>(title.error)));
}

}  // namespace

int main() {
  std::string error;
  std::unique_ptr<cuh::platform::Platform> platform = cuh::macos::createMacPlatform(&error);
  if (!platform) {
    std::printf("FAIL  the macOS platform: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<cuh::quartz::Events> events = cuh::macos::createEvents();
  checkEvents(*events);
  checkLoop(platform->mainLoop());
  checkIdentity(platform->workspace());
  checkWithPermission(*platform);
  std::printf("%s\n", failedChecks == 0 ? "all checks passed" : "some checks failed");
  return failedChecks == 0 ? 0 : 1;
}
