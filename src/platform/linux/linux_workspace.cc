#include "platform/linux/linux_workspace.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/linux/app_launcher.h"
#include "platform/linux/exec_line.h"
#include "platform/linux/icon_theme.h"

namespace cuh::linux_desktop {

using platform::RunningApplicationRef;

namespace {

// The edge asked of the icon theme: the largest the protocol draws.
constexpr int kIconPixels = 256;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string lastComponent(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string curlyQuoted(const std::string& name) {
  return "\xE2\x80\x9C" + name + "\xE2\x80\x9D";
}

std::optional<int32_t> parentOf(int32_t pid) {
  // The parent is field 4; the list starts at field 3.
  std::optional<std::vector<std::string>> fields = processStatFields(pid);
  if (!fields || fields->size() < 2)
    return std::nullopt;
  int32_t parent = 0;
  std::istringstream field((*fields)[1]);
  if (!(field >> parent))
    return std::nullopt;
  return parent;
}

// Whether `pid` is `ancestor` or one of its descendants (a launcher script
// that starts the real program).
bool descendsFrom(int32_t pid, int32_t ancestor) {
  for (int step = 0; step < 32 && pid > 1; ++step) {
    if (pid == ancestor)
      return true;
    auto parent = parentOf(pid);
    if (!parent)
      return false;
    pid = *parent;
  }
  return false;
}

platform::Image imageFrom(IconImage icon) {
  platform::Image image;
  image.width = icon.width;
  image.height = icon.height;
  image.rgba = std::move(icon.rgba);
  return image;
}

// When not even the theme's generic icon can be found: a plain grey
// square, so that every path still gets an icon.
platform::Image plainIcon() {
  platform::Image image;
  image.width = 32;
  image.height = 32;
  image.rgba.assign(32 * 32 * 4, 0x80);
  for (size_t i = 3; i < image.rgba.size(); i += 4)
    image.rgba[i] = 0xFF;
  return image;
}

std::optional<platform::Image> themeIcon(const std::string& name) {
  if (name.empty())
    return std::nullopt;
  auto file = findIconFile(name, kIconPixels, iconBaseDirectories());
  if (!file)
    return std::nullopt;
  auto png = readPng(*file);
  if (!png)
    return std::nullopt;
  return imageFrom(std::move(*png));
}

}  // namespace

bool LinuxRunningApplication::isTerminated() const {
  auto ticks = processStartTicks(facts_.pid);
  return !ticks || *ticks != facts_.startTicks;
}

bool LinuxRunningApplication::isEqual(const platform::RunningApplication& other) const {
  auto* same = dynamic_cast<const LinuxRunningApplication*>(&other);
  return same && same->facts_.pid == facts_.pid && same->facts_.startTicks == facts_.startTicks;
}

platform::ActivationPolicy LinuxRunningApplication::activationPolicy() const {
  return facts_.ownsManagedWindow ? platform::ActivationPolicy::regular
                                  : platform::ActivationPolicy::accessory;
}

struct LinuxWorkspace::Launch {
  int32_t pid = 0;
  std::string name;                       // for messages
  std::optional<std::string> entryPath;   // the desktop file launched
  std::optional<std::string> executable;  // the program launched directly
  ForegroundState foreground;
  std::set<::Window> windowsBefore;
  platform::OpenCompletion completion;
  double deadline = 0;
  std::optional<int32_t> answer;  // set once completed
  double giveBackUntil = 0;
};

LinuxWorkspace::LinuxWorkspace(DesktopSession& session, platform::MainLoop& loop)
    : session_(session), loop_(loop), giveBack_(session.x()) {}

LinuxWorkspace::~LinuxWorkspace() = default;

RunningApplicationRef LinuxWorkspace::frontmostApplication() {
  session_.touch();
  if (auto facts = session_.frontmostProcess())
    return std::make_shared<LinuxRunningApplication>(*facts);
  return nullptr;
}

std::vector<RunningApplicationRef> LinuxWorkspace::runningApplications() {
  session_.touch();
  std::vector<RunningApplicationRef> result;
  for (const ProcessFacts& facts : session_.processes())
    result.push_back(std::make_shared<LinuxRunningApplication>(facts));
  return result;
}

RunningApplicationRef LinuxWorkspace::runningApplicationWithProcessIdentifier(int32_t pid) {
  session_.touch();
  if (auto facts = session_.process(pid))
    return std::make_shared<LinuxRunningApplication>(*facts);
  return nullptr;
}

std::optional<std::string> LinuxWorkspace::urlForApplicationWithBundleIdentifier(
    std::string_view bundleIdentifier) {
  session_.touch();
  if (bundleIdentifier.empty())
    return std::nullopt;
  if (const DesktopEntry* entry =
          session_.desktopEntries().byId(std::string(bundleIdentifier) + ".desktop"))
    return entry->path;
  for (const ProcessFacts& facts : session_.processes()) {
    if (facts.identifier == bundleIdentifier && facts.path)
      return facts.path;
  }
  return std::nullopt;
}

std::optional<std::string> LinuxWorkspace::fullPathForApplication(std::string_view name) {
  session_.touch();
  if (name.empty())
    return std::nullopt;
  if (const DesktopEntry* entry = session_.desktopEntries().byName(name))
    return entry->path;
  for (const ProcessFacts& facts : session_.processes()) {
    if (facts.displayName == name && facts.path)
      return facts.path;
  }
  return std::nullopt;
}

void LinuxWorkspace::openApplicationAtURL(std::string_view absolutePath,
                                          const platform::OpenConfiguration& configuration,
                                          platform::OpenCompletion completion) {
  session_.touch();
  // Never activated, never recorded: nothing to set, but traced as asked.
  session_.trace().write({{"kind", "launch"},
                          {"url", "file://" + std::string(absolutePath)},
                          {"activates", configuration.activates},
                          {"addsToRecentItems", configuration.addsToRecentItems}});
  std::string path(absolutePath);
  auto fail = [this, &completion](std::string message) {
    loop_.post([completion = std::move(completion), message = std::move(message)] {
      completion(nullptr, message);
    });
  };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    fail("The file " + curlyQuoted(lastComponent(path)) +
         " couldn\xE2\x80\x99t be opened because there is no such file.");
    return;
  }

  auto launch = std::make_shared<Launch>();
  std::string program;
  std::vector<std::string> arguments;
  const DesktopEntry* entry = session_.desktopEntries().byPath(path);
  std::optional<DesktopEntry> parsed;
  if (!entry && path.ends_with(".desktop")) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    parsed = parseDesktopEntry(text.str(), lastComponent(path), path);
    if (parsed && !parsed->hidden)
      entry = &*parsed;
  }
  if (entry) {
    launch->name = entry->name.empty() ? lastComponent(path) : entry->name;
    launch->entryPath = entry->path;
    auto words = execArguments(*entry);
    auto resolved = words ? resolveProgram((*words)[0]) : std::nullopt;
    if (!resolved) {
      fail("The application " + curlyQuoted(launch->name) + " can\xE2\x80\x99t be opened.");
      return;
    }
    program = *resolved;
    arguments = std::move(*words);
  } else if (S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0) {
    launch->name = lastComponent(path);
    launch->executable = path;
    program = path;
    arguments = {path};
  } else {
    fail("The application " + curlyQuoted(lastComponent(path)) + " can\xE2\x80\x99t be opened.");
    return;
  }

  launch->foreground = readForeground(session_.x());
  for (::Window window : launch->foreground.stacking)
    launch->windowsBefore.insert(window);
  Started started = startDetached(program, arguments);
  if (started.pid <= 0) {
    fail("The application " + curlyQuoted(launch->name) + " can\xE2\x80\x99t be opened. " +
         std::strerror(started.error) + ".");
    return;
  }
  launch->pid = started.pid;
  launch->completion = std::move(completion);
  launch->deadline = now() + kLaunchTimeoutSeconds;
  launches_.push_back(launch);
  std::weak_ptr<bool> alive = alive_;
  loop_.postDelayed(kLaunchPollSeconds, [this, alive, launch] {
    if (!alive.expired())
      poll(launch);
  });
}

std::optional<int32_t> LinuxWorkspace::launchedPid(Launch& launch) {
  session_.invalidateWindows();
  for (const XWindowFacts& window : session_.windowList()) {
    if (!window.overrideRedirect && descendsFrom(*window.pid, launch.pid))
      return *window.pid;
  }
  if (::kill(launch.pid, 0) == 0 && processStartTicks(launch.pid))
    return std::nullopt;
  // The launched process is gone: a single-instance application handed
  // the launch to its running instance.
  for (const ProcessFacts& facts : session_.processes()) {
    if (!facts.ownsManagedWindow)
      continue;
    if (launch.entryPath && facts.path == launch.entryPath)
      return facts.pid;
    if (launch.executable && processExecutable(facts.pid) == launch.executable)
      return facts.pid;
  }
  return std::nullopt;
}

void LinuxWorkspace::giveBackIfTaken(Launch& launch) {
  auto& wanted = launch.foreground.activeWindow;
  if (!wanted || session_.x().lost())
    return;
  auto active = session_.windows().activeWindow();
  if (!active || *active == *wanted)
    return;
  bool launched = !launch.windowsBefore.count(*active);
  if (!launched) {
    auto facts = session_.windows().read(*active);
    launched = facts && facts->pid &&
               (descendsFrom(*facts->pid, launch.pid) || facts->pid == launch.answer);
  }
  if (launched) {
    bool restored = giveBack_.restore(launch.foreground);
    nlohmann::json stacking = nlohmann::json::array();
    for (::Window window : launch.foreground.stacking)
      stacking.push_back(window);
    session_.trace().write({{"kind", "giveBack"},
                            {"window", *wanted},
                            {"from", *active},
                            {"stacking", std::move(stacking)},
                            {"ok", restored}});
    session_.invalidateWindows();
  }
}

void LinuxWorkspace::activeWindowChanged() {
  for (const auto& launch : launches_)
    giveBackIfTaken(*launch);
}

void LinuxWorkspace::poll(const std::shared_ptr<Launch>& launch) {
  giveBackIfTaken(*launch);
  if (!launch->answer) {
    if (auto pid = launchedPid(*launch)) {
      launch->answer = pid;
      launch->giveBackUntil = now() + kGiveBackAfterLaunchSeconds;
      giveBackIfTaken(*launch);
      RunningApplicationRef application;
      if (auto facts = session_.process(*pid))
        application = std::make_shared<LinuxRunningApplication>(*facts);
      auto completion = std::move(launch->completion);
      completion(application, std::nullopt);
    } else if (now() >= launch->deadline || session_.x().lost()) {
      auto completion = std::move(launch->completion);
      std::erase(launches_, launch);
      completion(nullptr, "The application " + curlyQuoted(launch->name) +
                              " showed no window within 10 seconds; the launch cannot be "
                              "safely retried");
      return;
    }
  } else {
    if (now() >= launch->giveBackUntil) {
      std::erase(launches_, launch);
      return;
    }
  }
  std::weak_ptr<bool> alive = alive_;
  loop_.postDelayed(kLaunchPollSeconds, [this, alive, launch] {
    if (!alive.expired())
      poll(launch);
  });
}

platform::Image LinuxWorkspace::iconForFile(std::string_view path) {
  session_.touch();
  std::string file(path);
  if (const DesktopEntry* entry = session_.desktopEntries().byPath(file)) {
    if (auto icon = themeIcon(entry->icon))
      return *icon;
  } else {
    for (const XWindowFacts& window : session_.windowList()) {
      if (window.overrideRedirect || processExecutable(*window.pid) != file)
        continue;
      if (auto icon = session_.windows().icon(window.id))
        return imageFrom(std::move(*icon));
    }
  }
  if (auto generic = themeIcon(kGenericExecutableIcon))
    return *generic;
  return plainIcon();
}

}  // namespace cuh::linux_desktop
