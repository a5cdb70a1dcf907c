// Test support on the test desktop (scripts/desktop-session.sh): starting
// the applications the tests drive, waiting on the fixture's log instead
// of sleeping, and checking that nothing was printed on standard error.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/linux/atspi_client.h"
#include "platform/linux/bus_connection.h"

namespace cuh::linux_desktop::testing {

// A child process, ended (SIGTERM, then SIGKILL) and reaped when it goes.
class ChildProcess {
 public:
  // Starts argv[0] (looked up in PATH) with `extraEnvironment` ("K=V")
  // added, standard input from `inputFd` (-1: /dev/null). Standard output
  // and error go to /dev/null.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        const std::vector<std::string>& extraEnvironment = {},
                        int inputFd = -1);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return pid_; }
  void signal(int signal) const;
  // Ends it now and reaps it.
  void end();

 private:
  pid_t pid_ = -1;
};

// A fixture application: a script of tests/platform/linux/fixtures/ (by
// default fixture_app.py; the toolkits' probes take the same log), or a
// program given by its absolute path (the hostile application), started with a
// fresh log in the session's directory; construction waits for its
// "ready" line (at most 30 s) and fails the test otherwise.
class FixtureApp {
 public:
  explicit FixtureApp(std::vector<std::string> extraArguments = {},
                      const std::string& script = "fixture_app.py");
  ~FixtureApp();
  pid_t pid() const { return process_->pid(); }
  // The X id of one of its windows by the fixture's name ("main", "tools").
  unsigned long window(const std::string& name) const;
  // Sends one command line to its standard input.
  void command(const std::string& line);
  // The log's lines so far.
  std::vector<nlohmann::json> log() const;
  // Its log lines from index `since` on that have these fields (each key
  // with that value).
  std::vector<nlohmann::json> linesSince(size_t since, const nlohmann::json& fields) const;
  // Waits (at most `timeout`) for a log line with these fields; returns it.
  std::optional<nlohmann::json> waitFor(
      const nlohmann::json& fields,
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  ChildProcess& process() { return *process_; }

 private:
  static std::vector<std::string> argv(const std::string& script,
                                       const std::string& log,
                                       const std::vector<std::string>& extra);
  std::string logPath_;
  int commandPipe_ = -1;
  std::unique_ptr<ChildProcess> process_;
  nlohmann::json ready_;
};

// Captures everything written to this process's standard error while it
// lives (fd 2 goes to a file); text() gives it.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  std::string text() const;

 private:
  int saved_ = -1;
  std::string path_;
};

// The accessibility bus of the test desktop, found as the helper finds it.
std::unique_ptr<BusConnection> openAccessibilityBus();
// The application on the bus of a process; waits (at most `timeout`) for
// it to register.
std::optional<AccessibleRef> applicationOf(
    AtspiClient& client,
    pid_t pid,
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Waits until `condition` holds, polling every 10 ms, at most `timeout`.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace cuh::linux_desktop::testing
