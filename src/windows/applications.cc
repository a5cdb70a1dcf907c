#include "windows/applications.h"

#include <string>
#include <utility>

#include "protocol/helper_failure.h"
#include "protocol/params.h"

namespace cuh {

namespace {

// The file URL of a path as the platform builds it: a relative path counts
// from the working directory. The path is not checked here.
std::string absolutePath(platform::Platform& platform, const std::string& path) {
  if (path.starts_with("/"))
    return path;
  std::string directory = platform.process().currentDirectory();
  if (!directory.ends_with("/"))
    directory += '/';
  return directory + path;
}

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
  if (text && text->empty())
    return std::nullopt;
  return text;
}

std::optional<std::string> applicationLocation(platform::Platform& platform,
                                               const std::string& app) {
  if (app.find('/') != std::string::npos)
    return absolutePath(platform, app);
  auto& workspace = platform.workspace();
  if (app.find('.') != std::string::npos) {
    if (auto location = nonEmpty(workspace.urlForApplicationWithBundleIdentifier(app))) {
      return location;
    }
  }
  if (auto path = nonEmpty(workspace.fullPathForApplication(app))) {
    return absolutePath(platform, *path);
  }
  return std::nullopt;
}

}  // namespace

Json listApplications(platform::Platform& platform) {
  Json apps = Json::array();
  for (const auto& application : platform.workspace().runningApplications()) {
    if (!application)
      continue;
    if (application->activationPolicy() != platform::ActivationPolicy::regular)
      continue;
    auto name = application->localizedName();
    if (!name || name->empty())
      continue;
    Json row{
        {"name", *name},
        {"pid", application->processIdentifier()},
        {"isActive", application->isActive()},
        {"isFinishedLaunching", application->isFinishedLaunching()},
    };
    if (auto bundleId = application->bundleIdentifier())
      row["bundleId"] = *bundleId;
    if (auto path = application->bundleURLPath())
      row["path"] = *path;
    apps.push_back(std::move(row));
  }
  return apps;
}

void startLaunchApplication(platform::Platform& platform, const Json& params, Reply reply) {
  std::string app = requiredString(params, "app");
  auto location = applicationLocation(platform, app);
  if (!location)
    throw HelperFailure("App not found: " + app);

  platform::OpenConfiguration configuration;
  configuration.activates = false;
  configuration.addsToRecentItems = false;
  platform::MainLoop& mainLoop = platform.mainLoop();
  // The workspace calls back on a thread of its choice: touch nothing there,
  // only hand the outcome to the main loop.
  platform.workspace().openApplicationAtURL(
      *location, configuration,
      [&mainLoop, reply = std::move(reply)](platform::RunningApplicationRef application,
                                            std::optional<std::string> errorDescription) {
        mainLoop.post([reply, application = std::move(application),
                       errorDescription = std::move(errorDescription)]() mutable {
          if (errorDescription) {
            reply.fail(*errorDescription);
            return;
          }
          int32_t pid = application ? application->processIdentifier() : 0;
          reply.succeed(Json{{"launched", true}, {"pid", pid}});
        });
      });
}

}  // namespace cuh
