// The workspace of the simulated desktop: running applications with their
// identity, the frontmost application, lookups, launches and icons.
#pragma once

#include <mutex>
#include <thread>
#include <vector>

#include "platform/sim/sim_context.h"
#include "platform/workspace.h"

namespace cuh::sim {

class SimWorkspace final : public platform::Workspace {
 public:
  explicit SimWorkspace(SimContext& context) : context_(context) {}
  ~SimWorkspace() override;

  platform::RunningApplicationRef frontmostApplication() override;
  std::vector<platform::RunningApplicationRef> runningApplications() override;
  platform::RunningApplicationRef runningApplicationWithProcessIdentifier(int32_t pid) override;
  std::optional<std::string> urlForApplicationWithBundleIdentifier(
      std::string_view bundleIdentifier) override;
  std::optional<std::string> fullPathForApplication(std::string_view name) override;
  void openApplicationAtURL(std::string_view absolutePath,
                            const platform::OpenConfiguration& configuration,
                            platform::OpenCompletion completion) override;
  platform::Image iconForFile(std::string_view path) override;

  // ---- Script actions ----
  // The app quits: it leaves the running apps, its windows go, its objects
  // report terminated.
  void terminate(int32_t pid);
  // The app quits and starts again with the same pid, windows and elements.
  void relaunch(int32_t pid);

 private:
  // Starts a launchable application now (on the main thread).
  App& start(const Launchable& launchable);
  // Runs a launch completion off the main thread.
  void complete(platform::OpenCompletion completion,
                platform::RunningApplicationRef application,
                std::optional<std::string> error);

  SimContext& context_;
  // Completion threads on the real clock, joined on destruction so that none
  // outlives the main loop it hands its work to.
  std::mutex completionsMutex_;
  std::vector<std::thread> completions_;
};

}  // namespace cuh::sim
