// The shared workspace and running applications (NSWorkspace,
// NSRunningApplication).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuh::platform {

// NSApplicationActivationPolicy values.
enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

// One running application as the workspace reports it. Objects are shared
// handles: the workspace may hand out the same application again or a new
// object for it; compare with isEqual, not by address.
class RunningApplication {
 public:
  virtual ~RunningApplication() = default;

  virtual int32_t processIdentifier() const = 0;
  // True once the process has quit. An object reports it for ever after.
  virtual bool isTerminated() const = 0;
  // Identity: the same process launch. A relaunched application with the same
  // pid is not equal to the old object.
  virtual bool isEqual(const RunningApplication& other) const = 0;
  virtual ActivationPolicy activationPolicy() const = 0;
  // None when the application has no name.
  virtual std::optional<std::string> localizedName() const = 0;
  virtual std::optional<std::string> bundleIdentifier() const = 0;
  // The file-system path of bundleURL; none without a bundle location.
  virtual std::optional<std::string> bundleURLPath() const = 0;
  // The application is the active (frontmost) one.
  virtual bool isActive() const = 0;
  virtual bool isFinishedLaunching() const = 0;
};

using RunningApplicationRef = std::shared_ptr<const RunningApplication>;

// An RGBA image, 8 bits per sample, rows top to bottom, not premultiplied.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes
};

// NSWorkspaceOpenConfiguration, reduced to what the helper sets.
struct OpenConfiguration {
  bool activates = true;
  bool addsToRecentItems = true;
};

// The completion of openApplicationAtURL: the launched application (may be
// null) or the localized description of the error.
using OpenCompletion = std::function<void(RunningApplicationRef application,
                                          std::optional<std::string> errorDescription)>;

class Workspace {
 public:
  virtual ~Workspace() = default;

  // frontmostApplication: null when no application is frontmost.
  virtual RunningApplicationRef frontmostApplication() = 0;
  // runningApplications, in the workspace's order.
  virtual std::vector<RunningApplicationRef> runningApplications() = 0;
  // NSRunningApplication runningApplicationWithProcessIdentifier: null when no
  // application runs with that pid.
  virtual RunningApplicationRef runningApplicationWithProcessIdentifier(int32_t pid) = 0;
  // URLForApplicationWithBundleIdentifier, as an absolute path; none when no
  // application has the identifier.
  virtual std::optional<std::string> urlForApplicationWithBundleIdentifier(
      std::string_view bundleIdentifier) = 0;
  // fullPathForApplication; none when no application has the name.
  virtual std::optional<std::string> fullPathForApplication(std::string_view name) = 0;
  // openApplicationAtURL:configuration:completionHandler: for the file URL of
  // an absolute path. Returns at once; `completion` runs exactly once, on a
  // thread of the platform's choice (never synchronously inside this call).
  virtual void openApplicationAtURL(std::string_view absolutePath,
                                    const OpenConfiguration& configuration,
                                    OpenCompletion completion) = 0;
  // iconForFile: the file's icon, rendered at the backend's natural size
  // (any path gets an icon: a generic one when the file has none).
  virtual Image iconForFile(std::string_view path) = 0;
};

}  // namespace cuh::platform
