// computer-use-helper: reads one JSON request per line on standard input and
// writes one JSON response per line on standard output, until standard input
// ends, the parent process is gone, a "close" request or a termination
// signal.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "app/command_line.h"
#include "app/helper_delegate.h"
#include "app/signals.h"
#include "app/usage.h"
#include "platform/platform.h"

namespace {

// Prints `text` to standard output; 0 when all of it was written.
int printAndExit(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

// The two process-wide references: the application object and its delegate
// (the application holds its delegate only weakly).
cuh::platform::Application* application = nullptr;
std::shared_ptr<cuh::HelperDelegate> delegate;

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists, so that all of them inherit the signal mask.
  cuh::prepareProcessSignals();

  cuh::CommandLine commandLine =
      cuh::parseCommandLine(std::span<const char* const>(argv, static_cast<size_t>(argc)));
  if (commandLine.action == cuh::CommandLineAction::printHelp)
    return printAndExit(cuh::usageText());
  if (commandLine.action == cuh::CommandLineAction::printVersion)
    return printAndExit(cuh::versionText(CUH_VERSION));

  cuh::platform::PlatformOptions platformOptions;
  platformOptions.scenePath = commandLine.scenePath;
  platformOptions.tracePath = commandLine.tracePath;
  std::string error;
  std::unique_ptr<cuh::platform::Platform> platform =
      cuh::platform::createPlatform(platformOptions, &error);
  if (!platform) {
    // The only output the helper ever writes to standard error.
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }

  application = &platform->application();
  cuh::HelperOptions options;
  options.parentPID = commandLine.parentPID;
  options.inputFd = STDIN_FILENO;
  options.output = cuh::fileDescriptorSink(STDOUT_FILENO);
  delegate = cuh::HelperDelegate::create(*platform, std::move(options));

  // A termination signal takes the path of the end of input: behind the
  // requests already handed over, through terminate.
  cuh::platform::MainLoop& loop = platform->mainLoop();
  std::weak_ptr<cuh::HelperDelegate> weak = delegate;
  cuh::SignalWatcher signals([&loop, weak] {
    loop.post([weak] {
      if (auto self = weak.lock())
        self->endOfInput();
    });
  });
  signals.start();

  application->setActivationPolicy(cuh::platform::ActivationPolicy::accessory);
  application->setDelegate(delegate.get());
  int status = application->run();

  // Where the platform returns from run (the simulated desktop), shut down
  // in order: no more signals, the reader joined, then the state.
  signals.stop();
  application->setDelegate(nullptr);
  delegate.reset();
  application = nullptr;
  platform.reset();
  return status;
}
