#include "e2e/support/helper_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace cuh::e2e {

std::string helperBinary() {
  return CUH_HELPER_BINARY;
}

std::string sourcePath(std::string_view relative) {
  return std::string(CUH_SOURCE_DIR) + "/" + std::string(relative);
}

std::vector<std::string> demoSceneArguments() {
  return {"--scene", sourcePath("scenes/demo.json")};
}

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

void makePipe(int fds[2]) {
  if (::pipe(fds) != 0)
    throw std::runtime_error("pipe failed");
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
}

void closeFd(int& fd) {
  if (fd >= 0)
    ::close(fd);
  fd = -1;
}

int remainingMs(double deadline) {
  double left = deadline - steadySeconds();
  if (left <= 0)
    return 0;
  return static_cast<int>(std::ceil(left * 1000));
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  // Writing to a child that ended must fail with EPIPE, not kill the test.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  makePipe(in);
  makePipe(out);
  makePipe(err);
  std::vector<std::string> storage;
  storage.push_back(program);
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage)
    argv.push_back(argument.data());
  argv.push_back(nullptr);

  // Standard error is drained whenever the test waits; it must not block.
  ::fcntl(err[0], F_SETFL, O_NONBLOCK);
  pid_ = ::fork();
  if (pid_ < 0)
    throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    // A child inherits a blocked signal mask; the helper must start clean.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  stdin_ = in[1];
  stdout_ = out[0];
  stderr_ = err[0];
}

ChildProcess::~ChildProcess() {
  finish();
  closeFd(stdout_);
  closeFd(stderr_);
}

std::optional<int> ChildProcess::finish(double timeoutSeconds) {
  closeFd(stdin_);
  if (pid_ <= 0)
    return std::nullopt;
  if (std::optional<int> status = waitForExit(timeoutSeconds))
    return status;
  ::kill(pid_, SIGKILL);
  waitForExit(10);
  return std::nullopt;
}

bool ChildProcess::write(std::string_view bytes) {
  if (log_)
    log_->sent(bytes);
  while (!bytes.empty()) {
    if (stdin_ < 0)
      return false;
    ssize_t written = ::write(stdin_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void ChildProcess::closeStdin() {
  closeFd(stdin_);
}

void ChildProcess::closeStdout() {
  closeFd(stdout_);
  stdoutEnded_ = true;
}

bool ChildProcess::fill(double deadline) {
  if (stdoutEnded_)
    return false;
  for (;;) {
    pollfd fd{stdout_, POLLIN, 0};
    int ready = ::poll(&fd, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return false;
    char buffer[65536];
    ssize_t got = ::read(stdout_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0) {
      stdoutEnded_ = true;
      return false;
    }
    buffered_.append(buffer, static_cast<size_t>(got));
    return true;
  }
}

std::optional<std::string> ChildProcess::readLine(double timeoutSeconds) {
  double deadline = steadySeconds() + timeoutSeconds;
  for (;;) {
    size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      if (log_)
        log_->received(line);
      return line;
    }
    if (!fill(deadline))
      return std::nullopt;
  }
}

std::optional<nlohmann::json> ChildProcess::readJson(double timeoutSeconds) {
  std::optional<std::string> line = readLine(timeoutSeconds);
  if (!line)
    return std::nullopt;
  nlohmann::json value = nlohmann::json::parse(*line, nullptr, false);
  if (value.is_discarded())
    return std::nullopt;
  return value;
}

std::optional<std::string> ChildProcess::readToEnd(double timeoutSeconds) {
  double deadline = steadySeconds() + timeoutSeconds;
  while (!stdoutEnded_) {
    if (!fill(deadline) && !stdoutEnded_)
      return std::nullopt;
  }
  std::string rest = std::move(buffered_);
  buffered_.clear();
  if (log_) {
    for (size_t start = 0, end; (end = rest.find('\n', start)) != std::string::npos;
         start = end + 1)
      log_->received(std::string_view(rest).substr(start, end - start));
  }
  return rest;
}

std::optional<int> ChildProcess::waitForExit(double timeoutSeconds) {
  if (status_)
    return status_;
  double deadline = steadySeconds() + timeoutSeconds;
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    drainStderr();
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (done < 0 && errno != EINTR)
      return std::nullopt;
    if (steadySeconds() >= deadline)
      return std::nullopt;
    // Output is kept for the read calls meanwhile: a child blocked writing
    // to a full pipe would never exit.
    if (!fill(std::min(deadline, steadySeconds() + 0.002)) && stdoutEnded_)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void ChildProcess::drainStderr() {
  char buffer[4096];
  ssize_t got;
  while (stderr_ >= 0 && (got = ::read(stderr_, buffer, sizeof buffer)) != 0) {
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return;  // EAGAIN: nothing more for now
    }
    stderrBuffered_.append(buffer, static_cast<size_t>(got));
  }
}

std::string ChildProcess::stderrText() {
  drainStderr();
  // Once the child ended every writer of the pipe is gone: the rest is here.
  if (status_)
    closeFd(stderr_);
  return stderrBuffered_;
}

void ChildProcess::signal(int number) {
  if (pid_ > 0 && !status_)
    ::kill(pid_, number);
}

std::optional<nlohmann::json> HelperProcess::request(const nlohmann::json& request,
                                                     double timeoutSeconds) {
  if (!writeLine(request.dump()))
    return std::nullopt;
  return readJson(timeoutSeconds);
}

}  // namespace cuh::e2e
