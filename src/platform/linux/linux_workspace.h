// The workspace of the Linux desktop: the processes that own a listed window
// or an application on the accessibility bus as running applications,
// desktop files as application bundles, launching through them, and icons
// from the icon theme or the windows.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/desktop_session.h"
#include "platform/linux/foreground_giveback.h"
#include "platform/main_loop.h"
#include "platform/workspace.h"

namespace cuh::linux_desktop {

class LinuxRunningApplication final : public platform::RunningApplication {
 public:
  explicit LinuxRunningApplication(ProcessFacts facts) : facts_(std::move(facts)) {}
  int32_t processIdentifier() const override { return facts_.pid; }
  // The process is gone, or its pid now belongs to another launch.
  bool isTerminated() const override;
  bool isEqual(const platform::RunningApplication& other) const override;
  // Regular for a process with a managed window; accessory otherwise (an
  // application known only from the bus, or one with only popups).
  platform::ActivationPolicy activationPolicy() const override;
  std::optional<std::string> localizedName() const override { return facts_.displayName; }
  std::optional<std::string> bundleIdentifier() const override { return facts_.identifier; }
  std::optional<std::string> bundleURLPath() const override { return facts_.path; }
  bool isActive() const override { return facts_.active; }
  bool isFinishedLaunching() const override { return true; }
  const ProcessFacts& facts() const { return facts_; }

 private:
  ProcessFacts facts_;
};

// How long a launch may take to show a window, and how often it looks.
inline constexpr double kLaunchTimeoutSeconds = 10.0;
inline constexpr double kLaunchPollSeconds = 0.05;
// After a launch completed, a window of it that the window manager
// activates late is still given back for this long.
inline constexpr double kGiveBackAfterLaunchSeconds = 1.5;

class LinuxWorkspace final : public platform::Workspace {
 public:
  LinuxWorkspace(DesktopSession& session, platform::MainLoop& loop);
  ~LinuxWorkspace() override;

  platform::RunningApplicationRef frontmostApplication() override;
  std::vector<platform::RunningApplicationRef> runningApplications() override;
  platform::RunningApplicationRef runningApplicationWithProcessIdentifier(int32_t pid) override;
  // The desktop file with that id (identifier + ".desktop"), else the path
  // of a running application with that identifier.
  std::optional<std::string> urlForApplicationWithBundleIdentifier(
      std::string_view bundleIdentifier) override;
  // The desktop file with that Name, else the path of a running
  // application with that display name.
  std::optional<std::string> fullPathForApplication(std::string_view name) override;
  // A desktop file (through its Exec line) or an executable. Completes once
  // the launched application has a listed window (a new process of the
  // launch, or the running instance a single-instance application hands
  // the launch to), at most kLaunchTimeoutSeconds; a window of it that the
  // window manager activates meanwhile is given back at once.
  void openApplicationAtURL(std::string_view absolutePath,
                            const platform::OpenConfiguration& configuration,
                            platform::OpenCompletion completion) override;
  // A desktop file's Icon from the icon theme; for an executable the largest
  // _NET_WM_ICON of a running application with that executable; else the
  // theme's generic executable icon.
  platform::Image iconForFile(std::string_view path) override;

  // The X connection reported a change of _NET_ACTIVE_WINDOW.
  void activeWindowChanged();

 private:
  struct Launch;
  void poll(const std::shared_ptr<Launch>& launch);
  void giveBackIfTaken(Launch& launch);
  std::optional<int32_t> launchedPid(Launch& launch);

  DesktopSession& session_;
  platform::MainLoop& loop_;
  ForegroundGiveBack giveBack_;
  // Launches under way or in their give-back grace period.
  std::vector<std::shared_ptr<Launch>> launches_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cuh::linux_desktop
