// The watch on one target process (the focus controller's place on X11):
// which user's window a request or lease protects, what the request
// borrowed of the target (the window told it is focused), and what the
// X events seen meanwhile say (the user acting in the target, a popup
// dismissed). XForegroundProtection owns one per target pid and feeds it.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/foreground.h"
#include "platform/foreground_protection.h"
#include "platform/linux/foreground_giveback.h"
#include "platform/platform.h"

namespace cuh::linux_desktop {

class TargetWatch final : public platform::GuardedTarget {
 public:
  // `readPendingEvents` hands the X events waiting in the connection to
  // the protection, so that a report judges everything seen so far.
  TargetWatch(platform::Platform& platform,
              int32_t pid,
              platform::RunningApplicationRef launch,
              std::function<void()> readPendingEvents)
      : platform_(platform),
        pid_(pid),
        launch_(std::move(launch)),
        readPendingEvents_(std::move(readPendingEvents)) {}

  int32_t pid() const { return pid_; }

  // platform::GuardedTarget
  bool targetsCurrentProcess() const override;
  platform::ProtectionReport report(const platform::ForegroundSnapshot& foreground) const override;
  void clear() override;

  // Armed for a request or lease: `foreground` is the user's window,
  // `userForeground` the active window and stacking order to give back.
  void arm(const platform::ForegroundSnapshot& foreground, ForegroundState userForeground);

  // What the X events said, and the state a request borrowed. All reset
  // by clear().
  platform::ForegroundSnapshot foreground;
  ForegroundState userForeground;
  bool protecting = false;
  bool semanticGuardActive = false;
  bool userIntervened = false;
  bool popupDismissed = false;
  uint32_t expectedWindowID = 0;
  // The window told it has the keyboard (FocusIn sent); 0 = none. Given
  // back with a FocusOut.
  ::Window focusedWindow = 0;
  // Until when a popup of the target still counts as opened by the input
  // the helper sent (a toolkit under load may map it after the request
  // ended). Kept by clear().
  std::chrono::steady_clock::time_point latePopupsUntil{};

 private:
  platform::Platform& platform_;
  int32_t pid_;
  platform::RunningApplicationRef launch_;
  std::function<void()> readPendingEvents_;
};

}  // namespace cuh::linux_desktop
