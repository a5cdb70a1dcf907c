#include "platform/linux/desktop_session.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/linux/accessibility_bus.h"

namespace cuh::linux_desktop {

namespace {

// Finding the bus and connecting to it at start waits at most this long per
// step, so that a broken session bus cannot hold the start-up.
constexpr std::chrono::milliseconds kBusLookupTimeout{1000};

}  // namespace

std::optional<std::vector<std::string>> processStatFields(int32_t pid) {
  if (pid <= 0)
    return std::nullopt;
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!file || !std::getline(file, text))
    return std::nullopt;
  // The command name is in parentheses and may contain anything, spaces
  // and parentheses included: the fields start after the last ')'.
  size_t close = text.rfind(')');
  if (close == std::string::npos)
    return std::nullopt;
  std::istringstream stream(text.substr(close + 1));
  std::vector<std::string> fields;
  for (std::string field; stream >> field;)
    fields.push_back(std::move(field));
  return fields;
}

std::optional<uint64_t> processStartTicks(int32_t pid) {
  // starttime is field 22; the list starts at field 3.
  std::optional<std::vector<std::string>> fields = processStatFields(pid);
  if (!fields || fields->size() < 20)
    return std::nullopt;
  try {
    return std::stoull((*fields)[19]);
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::string> processExecutable(int32_t pid) {
  if (pid <= 0)
    return std::nullopt;
  char buffer[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (length <= 0)
    return std::nullopt;
  return std::string(buffer, static_cast<size_t>(length));
}

DesktopSession::DesktopSession(std::unique_ptr<XConnection> x) : x_(std::move(x)), reader_(*x_) {}

std::unique_ptr<DesktopSession> DesktopSession::open(const char* displayName, std::string* error) {
  auto x = XConnection::open(displayName, error);
  if (!x)
    return nullptr;
  std::unique_ptr<DesktopSession> session(new DesktopSession(std::move(x)));
  session->connectBus();
  return session;
}

void DesktopSession::connectBus() {
  auto address = findAccessibilityBus(x_.get(), kBusLookupTimeout);
  if (!address)
    return;
  bus_ = BusConnection::open(address->address, nullptr);
  if (!bus_)
    return;
  atspi_ = std::make_unique<AtspiClient>(*bus_);
  // Toolkits serve their object cache only to a registered listener.
  atspi_->registerWithRegistry();
}

void DesktopSession::retryAccessibilityBus() {
  if (!bus_)
    connectBus();
}

AtspiClient* DesktopSession::atspi() {
  return atspi_.get();
}

void DesktopSession::dropRequestState() {
  ++generation_;
  if (atspi_)
    atspi_->endRequest();
  entries_ = nullptr;
  windowList_.reset();
  active_.reset();
  currentDesktop_.reset();
  busApplications_.reset();
  processes_.reset();
  windowOwners_.clear();
}

void DesktopSession::beginRequest() {
  dropRequestState();
  inRequest_ = true;
  // Drain what the server sent meanwhile, so a lost connection is noticed.
  if (!x_->lost())
    XPending(x_->display());
}

void DesktopSession::endRequest() {
  dropRequestState();
  inRequest_ = false;
}

void DesktopSession::touch() {
  if (!inRequest_)
    dropRequestState();
}

const DesktopEntries& DesktopSession::desktopEntries() {
  if (!entries_)
    entries_ = &entriesIndex_.current(applicationDirectories());
  return *entries_;
}

const std::vector<XWindowFacts>& DesktopSession::windowList() {
  if (!windowList_)
    windowList_ = reader_.windowList();
  return *windowList_;
}

std::optional<::Window> DesktopSession::activeWindow() {
  if (!active_)
    active_ = reader_.activeWindow();
  return *active_;
}

std::optional<unsigned long> DesktopSession::currentDesktop() {
  if (!currentDesktop_)
    currentDesktop_ = reader_.currentDesktop();
  return *currentDesktop_;
}

void DesktopSession::invalidateWindows() {
  windowList_.reset();
  active_.reset();
  currentDesktop_.reset();
  busApplications_.reset();
  processes_.reset();
  windowOwners_.clear();
}

const std::vector<std::pair<AccessibleRef, int32_t>>& DesktopSession::busApplications() {
  if (busApplications_)
    return *busApplications_;
  busApplications_.emplace();
  if (!atspi_)
    return *busApplications_;
  for (const AccessibleRef& application : atspi_->applications()) {
    auto known = pidOfBusName_.find(application.bus);
    std::optional<int32_t> pid;
    if (known != pidOfBusName_.end()) {
      pid = known->second;
    } else if ((pid = atspi_->processIdOf(application.bus))) {
      pidOfBusName_[application.bus] = *pid;
    }
    if (pid)
      busApplications_->emplace_back(application, *pid);
  }
  return *busApplications_;
}

std::optional<std::string> DesktopSession::busNameOf(int32_t pid) {
  for (const auto& [application, owner] : busApplications()) {
    if (owner == pid)
      return application.bus;
  }
  return std::nullopt;
}

ProcessFacts DesktopSession::factsOf(int32_t pid,
                                     const XWindowFacts* window,
                                     const std::string* accessibleName) {
  ProcessFacts facts;
  facts.pid = pid;
  facts.startTicks = processStartTicks(pid).value_or(0);
  std::string gtkId = window && window->gtkApplicationId ? *window->gtkApplicationId : "";
  std::string instance = window ? window->windowClass.instance : "";
  std::string className = window ? window->windowClass.className : "";
  const DesktopEntry* entry =
      window ? desktopEntries().forWindow(gtkId, instance, className) : nullptr;
  facts.identifier = applicationIdentifier(entry, gtkId, className);
  facts.displayName =
      applicationDisplayName(entry, className, accessibleName ? *accessibleName : "");
  if (entry)
    facts.path = entry->path;
  else
    facts.path = processExecutable(pid);
  return facts;
}

std::optional<ProcessFacts> DesktopSession::windowOwner(int32_t pid) {
  // Its first managed window (front to back) names it; popups only where it
  // has no managed window.
  const XWindowFacts* naming = nullptr;
  for (const XWindowFacts& window : windowList()) {
    if (*window.pid == pid && (!naming || (naming->overrideRedirect && !window.overrideRedirect)))
      naming = &window;
  }
  if (!naming)
    return std::nullopt;
  ProcessFacts facts = factsOf(pid, naming, nullptr);
  std::optional<::Window> active = activeWindow();
  for (const XWindowFacts& window : windowList()) {
    if (*window.pid != pid)
      continue;
    if (!window.overrideRedirect)
      facts.ownsManagedWindow = true;
    if (active && window.id == *active)
      facts.active = true;
  }
  return facts;
}

const std::optional<ProcessFacts>& DesktopSession::knownWindowOwner(int32_t pid) {
  auto known = windowOwners_.find(pid);
  if (known == windowOwners_.end())
    known = windowOwners_.emplace(pid, windowOwner(pid)).first;
  return known->second;
}

const std::vector<ProcessFacts>& DesktopSession::processes() {
  if (processes_)
    return *processes_;
  std::map<int32_t, ProcessFacts> byPid;
  for (const XWindowFacts& window : windowList()) {
    if (!byPid.count(*window.pid))
      byPid.emplace(*window.pid, *knownWindowOwner(*window.pid));
  }
  if (atspi_) {
    for (const auto& [application, pid] : busApplications()) {
      if (byPid.count(pid) || pid == static_cast<int32_t>(::getpid()))
        continue;
      std::string name = atspi_->name(application).value_or("");
      byPid.emplace(pid, factsOf(pid, nullptr, &name));
    }
  }
  std::vector<ProcessFacts> result;
  for (auto& [pid, facts] : byPid) {
    if (facts.startTicks != 0)  // gone already
      result.push_back(std::move(facts));
  }
  std::stable_sort(result.begin(), result.end(), [](const ProcessFacts& a, const ProcessFacts& b) {
    return a.startTicks != b.startTicks ? a.startTicks < b.startTicks : a.pid < b.pid;
  });
  processes_ = std::move(result);
  return *processes_;
}

std::optional<ProcessFacts> DesktopSession::process(int32_t pid) {
  // A process with a listed window is known from the window list alone;
  // only one without needs the bus's applications and their names.
  if (!processes_) {
    if (const std::optional<ProcessFacts>& owner = knownWindowOwner(pid)) {
      if (owner->startTicks == 0)  // gone already
        return std::nullopt;
      return owner;
    }
  }
  for (const ProcessFacts& facts : processes()) {
    if (facts.pid == pid)
      return facts;
  }
  return std::nullopt;
}

std::optional<ProcessFacts> DesktopSession::frontmostProcess() {
  // Only the owner of the active window is active.
  std::optional<::Window> active = activeWindow();
  if (!active)
    return std::nullopt;
  for (const XWindowFacts& window : windowList()) {
    if (window.id == *active)
      return process(*window.pid);
  }
  return std::nullopt;
}

}  // namespace cuh::linux_desktop
