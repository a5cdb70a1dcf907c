#include "platform/linux/support/desktop_apps.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/accessibility_bus.h"

extern char** environ;

namespace cuh::linux_desktop::testing {

namespace {

int spawnWithInput(const std::vector<std::string>& argv,
                   const std::vector<std::string>& extraEnvironment,
                   int inputFd,
                   pid_t* pid) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e)
    environment.emplace_back(*e);
  for (const std::string& e : extraEnvironment)
    environment.push_back(e);
  std::vector<char*> args, envp;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : environment)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inputFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int r = posix_spawnp(pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return r;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnvironment,
                           int inputFd) {
  if (spawnWithInput(argv, extraEnvironment, inputFd, &pid_) != 0)
    pid_ = -1;
}

ChildProcess::~ChildProcess() {
  end();
}

void ChildProcess::signal(int number) const {
  if (pid_ > 0)
    kill(pid_, number);
}

void ChildProcess::end() {
  if (pid_ <= 0)
    return;
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<std::string> FixtureApp::argv(const std::string& script,
                                          const std::string& log,
                                          const std::vector<std::string>& extra) {
  // A program by its path; a script of the fixtures' folder through Python.
  std::vector<std::string> args;
  if (!script.starts_with("/"))
    args = {"/usr/bin/python3", std::string(CUH_SOURCE_DIR) + "/tests/platform/linux/fixtures/"};
  if (args.empty())
    args.push_back(script);
  else
    args.back() += script;
  args.insert(args.end(), {"--log", log});
  if (script == "fixture_app.py")
    args.push_back("--non-unique");
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

namespace {
std::string freshLogPath() {
  static int counter = 0;
  const char* dir = std::getenv("CUH_DESKTOP_DIR");
  return std::string(dir ? dir : "/tmp") + "/fixture-" + std::to_string(getpid()) + "-" +
         std::to_string(++counter) + ".jsonl";
}

}  // namespace

FixtureApp::FixtureApp(std::vector<std::string> extraArguments, const std::string& script)
    : logPath_(freshLogPath()) {
  int fds[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC) != 0)
    ADD_FAILURE() << "no pipe for the fixture's commands";
  commandPipe_ = fds[1];
  process_ = std::make_unique<ChildProcess>(argv(script, logPath_, extraArguments),
                                            std::vector<std::string>{}, fds[0]);
  if (fds[0] >= 0)
    close(fds[0]);
  auto ready = waitFor({{"event", "ready"}}, std::chrono::seconds(30));
  if (!ready) {
    ADD_FAILURE() << "the fixture application did not get ready (log " << logPath_ << ")";
    return;
  }
  ready_ = *ready;
}

FixtureApp::~FixtureApp() {
  process_->end();
  if (commandPipe_ >= 0)
    close(commandPipe_);
}

unsigned long FixtureApp::window(const std::string& name) const {
  if (!ready_.contains("windows") || !ready_["windows"].contains(name))
    return 0;
  return ready_["windows"][name].get<unsigned long>();
}

void FixtureApp::command(const std::string& line) {
  std::string text = line + "\n";
  if (commandPipe_ >= 0)
    (void)!write(commandPipe_, text.data(), text.size());
}

std::vector<nlohmann::json> FixtureApp::log() const {
  std::vector<nlohmann::json> lines;
  std::ifstream in(logPath_);
  std::string line;
  while (std::getline(in, line)) {
    auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_discarded())
      lines.push_back(std::move(parsed));
  }
  return lines;
}

std::vector<nlohmann::json> FixtureApp::linesSince(size_t since,
                                                   const nlohmann::json& fields) const {
  std::vector<nlohmann::json> found;
  std::vector<nlohmann::json> lines = log();
  for (size_t i = since; i < lines.size(); ++i) {
    bool all = true;
    for (const auto& [key, value] : fields.items())
      all = all && lines[i].contains(key) && lines[i][key] == value;
    if (all)
      found.push_back(std::move(lines[i]));
  }
  return found;
}

std::optional<nlohmann::json> FixtureApp::waitFor(const nlohmann::json& fields,
                                                  std::chrono::milliseconds timeout) const {
  std::optional<nlohmann::json> found;
  waitUntil(
      [&] {
        std::vector<nlohmann::json> lines = linesSince(0, fields);
        if (!lines.empty())
          found = std::move(lines.front());
        return found.has_value();
      },
      timeout);
  return found;
}

StderrCapture::StderrCapture() {
  char pattern[] = "/tmp/cuh-stderr.XXXXXX";
  int fd = mkstemp(pattern);
  path_ = pattern;
  fflush(stderr);
  saved_ = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() {
  fflush(stderr);
  dup2(saved_, 2);
  close(saved_);
  unlink(path_.c_str());
}

std::string StderrCapture::text() const {
  fflush(stderr);
  std::ifstream in(path_);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::unique_ptr<BusConnection> openAccessibilityBus() {
  auto address = findAccessibilityBus(nullptr, std::chrono::seconds(1));
  EXPECT_TRUE(address);
  if (!address)
    return nullptr;
  std::string error;
  auto bus = BusConnection::open(address->address, &error);
  EXPECT_TRUE(bus) << error;
  return bus;
}

std::optional<AccessibleRef> applicationOf(AtspiClient& client,
                                           pid_t pid,
                                           std::chrono::milliseconds timeout) {
  std::optional<AccessibleRef> found;
  waitUntil(
      [&] {
        for (const AccessibleRef& app : client.applications()) {
          if (client.processIdOf(app.bus) == pid)
            found = app;
        }
        return found.has_value();
      },
      timeout);
  return found;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace cuh::linux_desktop::testing
