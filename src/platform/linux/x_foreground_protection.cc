#include "platform/linux/x_foreground_protection.h"

#include <X11/keysym.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/linux/x_input_events.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {

using platform::ForegroundSnapshot;
using platform::ProtectionOutcome;

namespace {

// The window types of a popup that would hold the user's pointer or
// keyboard: menus, combo lists, dropdowns. Tooltips and notifications are
// left alone.
bool isMenuType(const std::vector<std::string>& types) {
  static const char* const kMenuTypes[] = {
      "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
      "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_COMBO"};
  for (const std::string& type : types) {
    for (const char* menu : kMenuTypes) {
      if (type == menu)
        return true;
    }
  }
  return false;
}

// How long after a request that sent input a popup of its target is still
// taken for one the input opened, and dismissed.
constexpr std::chrono::seconds kLatePopupGrace{1};

// Motion is checked at most this often: the pointer crossing the target
// counts once, and a moving mouse costs a window-list read per period.
constexpr std::chrono::milliseconds kMotionCheckPeriod{20};

// A change of the active window this soon after the user's own input is
// taken for the user's doing (a click on another window, a window
// manager's key binding): the window manager acts on the input within
// milliseconds.
constexpr std::chrono::milliseconds kUserActivationWindow{500};

}  // namespace

XForegroundProtection::XForegroundProtection(platform::Platform& platform,
                                             XConnection& x,
                                             sim::Trace& trace,
                                             std::function<void()> readPendingEvents)
    : platform_(platform),
      x_(x),
      trace_(trace),
      readPendingEvents_(std::move(readPendingEvents)),
      raw_(x) {}

XForegroundProtection::~XForegroundProtection() {
  // Whatever way the helper ends, no window keeps the focus it was told
  // it has.
  for (auto& [pid, watch] : watches_)
    giveBackFocus(*watch);
  if (!x_.lost())
    XFlush(x_.display());
}

std::shared_ptr<TargetWatch> XForegroundProtection::armed(int32_t pid,
                                                          const ForegroundSnapshot& foreground,
                                                          ProtectionOutcome& outcome) {
  std::shared_ptr<TargetWatch> watch;
  if (auto it = watches_.find(pid); it != watches_.end()) {
    if (it->second->targetsCurrentProcess()) {
      watch = it->second;
    } else {
      // Another launch under the same pid: the old one's state is gone
      // with it.
      it->second->clear();
      watches_.erase(it);
    }
  }
  if (!watch) {
    auto launch = platform_.workspace().runningApplicationWithProcessIdentifier(pid);
    if (!launch || launch->isTerminated()) {
      outcome = ProtectionOutcome::targetNotRunning;
      return nullptr;
    }
    if (x_.lost() || !raw_.available()) {
      outcome = ProtectionOutcome::couldNotGuard;
      return nullptr;
    }
    watch = std::make_shared<TargetWatch>(platform_, pid, std::move(launch), readPendingEvents_);
    watches_[pid] = watch;
  }
  watch->arm(foreground, readForeground(x_));
  updateListening();
  outcome = ProtectionOutcome::done;
  return watch;
}

platform::SemanticGuardArming XForegroundProtection::armSemanticGuard(
    int32_t targetPID,
    uint32_t windowID,
    const ForegroundSnapshot& foreground) {
  ProtectionOutcome outcome = ProtectionOutcome::couldNotGuard;
  std::shared_ptr<TargetWatch> watch = armed(targetPID, foreground, outcome);
  if (!watch)
    return {outcome, nullptr};
  watch->expectedWindowID = windowID;
  watch->semanticGuardActive = true;
  return {ProtectionOutcome::done, std::move(watch)};
}

ProtectionOutcome XForegroundProtection::establishSyntheticState(
    int32_t pid,
    uint32_t windowID,
    const platform::AXElement&,
    const platform::Rect&,
    const ForegroundSnapshot& foreground) {
  ProtectionOutcome outcome = ProtectionOutcome::couldNotGuard;
  std::shared_ptr<TargetWatch> watch = armed(pid, foreground, outcome);
  if (!watch)
    return outcome;
  watch->semanticGuardActive = false;
  watch->expectedWindowID = windowID;
  // The window is told it has the keyboard, as when its window manager
  // gives it focus; the toolkit then treats it as active and routes keys
  // to its focused widget. The round trip proves the server took it.
  XErrorScope scope(x_);
  XEvent focusIn = focusEvent(FocusIn, windowID);
  XSendEvent(x_.display(), windowID, False, 0, &focusIn);
  if (scope.failed())
    return ProtectionOutcome::stateEventNotCreated;
  watch->focusedWindow = windowID;
  trace_.write({{"kind", "focusIn"}, {"pid", pid}, {"window", windowID}});
  return ProtectionOutcome::done;
}

bool XForegroundProtection::syntheticStateReady(int32_t pid, uint32_t windowID) {
  readPendingEvents_();
  auto it = watches_.find(pid);
  if (it == watches_.end())
    return false;
  const TargetWatch& watch = *it->second;
  return watch.focusedWindow == windowID && watch.expectedWindowID == windowID &&
         watch.protecting && !watch.userIntervened &&
         platform::foregroundStillMatches(platform_, watch.foreground);
}

bool XForegroundProtection::popupDismissed(int32_t pid) {
  readPendingEvents_();
  auto it = watches_.find(pid);
  return it != watches_.end() && it->second->popupDismissed;
}

void XForegroundProtection::giveBackFocus(TargetWatch& watch) {
  if (!watch.focusedWindow || x_.lost())
    return;
  const ::Window window = watch.focusedWindow;
  watch.focusedWindow = 0;
  // The user made it the active window meanwhile: its focus is real now.
  if (XWindowReader(x_).activeWindow() == window)
    return;
  XErrorScope scope(x_);
  XEvent focusOut = focusEvent(FocusOut, window);
  XSendEvent(x_.display(), window, False, 0, &focusOut);
  if (!scope.failed())
    trace_.write({{"kind", "focusOut"}, {"pid", watch.pid()}, {"window", window}});
}

void XForegroundProtection::restoreAfterRequest() {
  for (auto& [pid, watch] : watches_) {
    // A request that acted on the target (input, or an accessibility
    // action under the semantic guard) may have opened a popup that maps
    // only after the answer.
    if (watch->protecting)
      watch->latePopupsUntil = std::chrono::steady_clock::now() + kLatePopupGrace;
    giveBackFocus(*watch);
    watch->clear();
  }
  updateListening();
}

void XForegroundProtection::releaseControllers() {
  restoreAfterRequest();
  watches_.clear();
  updateListening();
}

void XForegroundProtection::sweepControllers() {
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (it->second->targetsCurrentProcess()) {
      ++it;
      continue;
    }
    // The process is gone: nothing to give back.
    it->second->clear();
    it = watches_.erase(it);
  }
  updateListening();
}

void XForegroundProtection::updateListening() {
  bool any = std::any_of(watches_.begin(), watches_.end(),
                         [](const auto& entry) { return entry.second->protecting; });
  raw_.listen(any);
}

std::optional<int32_t> XForegroundProtection::pidOf(::Window window) {
  auto pid = XWindowReader(x_).cardinals(window, "_NET_WM_PID");
  if (!pid || pid->empty())
    return std::nullopt;
  return static_cast<int32_t>((*pid)[0]);
}

void XForegroundProtection::handleEvent(XEvent& event) {
  if (auto kind = raw_.decode(event)) {
    lastUserInput_ = std::chrono::steady_clock::now();
    rawInput(*kind);
    return;
  }
  if (event.type == MapNotify && event.xmap.event == x_.root() && event.xmap.override_redirect)
    popupMapped(event.xmap.window);
}

void XForegroundProtection::popupMapped(::Window window) {
  if (watches_.empty() || x_.lost())
    return;
  std::optional<XWindowFacts> facts = XWindowReader(x_).read(window);
  if (!facts || !facts->pid || !isMenuType(facts->types))
    return;
  auto it = watches_.find(*facts->pid);
  if (it == watches_.end())
    return;
  TargetWatch& watch = *it->second;
  if (!watch.protecting) {
    // Late, after the request that sent input ended: still the input's
    // doing, unless the user has made the target theirs meanwhile.
    if (std::chrono::steady_clock::now() >= watch.latePopupsUntil)
      return;
    auto active = XWindowReader(x_).activeWindow();
    if (!active || pidOf(*active) == watch.pid())
      return;
  }
  // Escape closes a menu or list the way the user would, and lets go of
  // the grab it took.
  const auto escape = XKeysymToKeycode(x_.display(), XK_Escape);
  if (escape != 0) {
    EventWindow target{window, x_.root(), 0, 0};
    EventStamps stamps(0);
    for (TimedEvent& timed : keyEvents(target, {}, escape, stamps, x_.serverTime()))
      XSendEvent(x_.display(), window, False, 0, &timed.event);
    XFlush(x_.display());
  }
  if (watch.protecting)
    watch.popupDismissed = true;
  trace_.write({{"kind", "popupDismissed"}, {"pid", *facts->pid}, {"window", window}});
}

void XForegroundProtection::rawInput(RawInputKind kind) {
  std::vector<TargetWatch*> watching;
  for (auto& [pid, watch] : watches_) {
    if (watch->protecting && !watch->userIntervened)
      watching.push_back(watch.get());
  }
  if (watching.empty() || x_.lost())
    return;
  std::optional<int32_t> routedTo;
  if (kind == RawInputKind::key) {
    // Keys go to the active window's application.
    if (auto active = XWindowReader(x_).activeWindow())
      routedTo = pidOf(*active);
  } else {
    if (kind == RawInputKind::motion) {
      auto now = std::chrono::steady_clock::now();
      if (now - lastMotionCheck_ < kMotionCheckPeriod)
        return;
      lastMotionCheck_ = now;
    }
    // Pointer input goes to the window under the pointer: the first listed
    // window, front to back, that holds it.
    auto pointer = XWindowReader(x_).pointer();
    if (!pointer)
      return;
    for (const XWindowFacts& facts : XWindowReader(x_).windowList()) {
      if (!facts.viewable)
        continue;
      if (facts.rectangle().contains(pointer->x, pointer->y)) {
        routedTo = facts.pid;
        break;
      }
    }
  }
  if (!routedTo)
    return;
  for (TargetWatch* watch : watching) {
    if (watch->pid() != *routedTo)
      continue;
    watch->userIntervened = true;
    watch->protecting = false;
    trace_.write({{"kind", "userActed"}, {"pid", watch->pid()}});
  }
  updateListening();
}

void XForegroundProtection::activeWindowChanged() {
  if (watches_.empty() || x_.lost())
    return;
  std::optional<::Window> active = XWindowReader(x_).activeWindow();
  if (!active)
    return;
  const std::optional<int32_t> activePID = pidOf(*active);
  const bool userJustActed =
      std::chrono::steady_clock::now() - lastUserInput_ < kUserActivationWindow;
  for (auto& [pid, watch] : watches_) {
    if (!watch->protecting || watch->userIntervened || !watch->foreground.windowID)
      continue;
    if (*active == watch->foreground.windowID)
      continue;
    // A window of the target took the foreground without the user acting
    // in it (the user's own clicks and keys in it were seen first, as raw
    // input), or a window of a third application did without any input of
    // the user's: the user's window goes back in front, in its old order.
    // The user's own application changing its window, and the user moving
    // to another window, are the user's foreground: the request's
    // foreground check answers them.
    const bool target = activePID == pid;
    const bool usersApplication = activePID && *activePID == watch->foreground.pid;
    if (!target && (usersApplication || userJustActed))
      continue;
    ForegroundGiveBack giveBack(x_);
    giveBack.restore(watch->userForeground, std::chrono::milliseconds(0));
    // A window that was not there at arming is left where it is by the
    // restore; the one that took the foreground goes below the user's
    // window, so the user's window is in front again.
    if (watch->userForeground.activeWindow) {
      giveBack.restackBelow(*active, *watch->userForeground.activeWindow);
      XFlush(x_.display());
    }
    trace_.write({{"kind", "giveBack"}, {"pid", pid}, {"window", *active}});
  }
}

}  // namespace cuh::linux_desktop
