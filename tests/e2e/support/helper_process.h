// A helper binary started as a child process with pipes on its standard
// input, output and error: write request lines, read response lines with
// timeouts, close standard input, wait for the exit status. Used by the
// end-to-end tests and the benchmarks.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/support/response_log.h"

namespace cuh::e2e {

// The helper binary this build made.
std::string helperBinary();
// A file of the source tree, e.g. "scenes/demo.json".
std::string sourcePath(std::string_view relative);

class ChildProcess {
 public:
  // Starts `program` with `arguments` (argv[1...]).
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  // Ends the child as `finish` does, then closes the pipes.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to the child's standard input. False when the
  // child stopped reading (or standard input was closed).
  bool write(std::string_view bytes);
  bool writeLine(std::string_view line) { return write(std::string(line) + "\n"); }
  void closeStdin();
  // Stops reading the child's standard output (its writes then fail).
  void closeStdout();

  // The next line of standard output without its line feed; none when none
  // came within `timeoutSeconds` or the output ended first.
  std::optional<std::string> readLine(double timeoutSeconds = 10);
  // The next line parsed as JSON; none on a timeout or a line that does not
  // parse (the test then fails on what it expected).
  std::optional<nlohmann::json> readJson(double timeoutSeconds = 10);
  // Everything still to come on standard output until it ends; none when
  // it did not end within the timeout.
  std::optional<std::string> readToEnd(double timeoutSeconds = 10);

  // The exit status (0-255), or 128 + the signal number for a child killed
  // by a signal; none when it has not ended within the timeout. Standard
  // output and error are collected while waiting (output stays for the read
  // calls), so a child with much to write is never blocked on a full pipe.
  std::optional<int> waitForExit(double timeoutSeconds = 10);
  // Ends the child the way a parent does: closes standard input and waits
  // for it to exit; kills it when it has not ended within the timeout.
  // The exit status, or none when it had to be killed.
  std::optional<int> finish(double timeoutSeconds = 10);
  // Everything the child wrote to standard error (whole once it ended).
  std::string stderrText();

  void signal(int number);

 protected:
  // Records what is written and read from now on (for the schema check).
  void logResponses(std::unique_ptr<ResponseLog> log) { log_ = std::move(log); }

 private:
  // Reads what is available on standard output into `buffered_`, waiting at
  // most until `deadline` (a steady-clock time in seconds). False at the
  // end of output or the deadline.
  bool fill(double deadline);
  // Reads what is available on standard error without waiting.
  void drainStderr();

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  std::string buffered_;
  std::string stderrBuffered_;
  bool stdoutEnded_ = false;
  std::optional<int> status_;
  std::unique_ptr<ResponseLog> log_;
};

// The arguments that select the demo scene, so that a set DISPLAY never
// changes which desktop a test runs on.
std::vector<std::string> demoSceneArguments();

// The helper binary with `arguments` (by default, on the demo scene).
class HelperProcess : public ChildProcess {
 public:
  explicit HelperProcess(const std::vector<std::string>& arguments = demoSceneArguments())
      : ChildProcess(helperBinary(), arguments) {
    logResponses(ResponseLog::open("e2e"));
  }

  // Writes one request line and reads the next response.
  std::optional<nlohmann::json> request(const nlohmann::json& request, double timeoutSeconds = 10);
};

// Seconds on the steady clock.
double steadySeconds();

}  // namespace cuh::e2e
