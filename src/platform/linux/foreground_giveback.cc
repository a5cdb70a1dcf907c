#include "platform/linux/foreground_giveback.h"

#include <poll.h>

#include <algorithm>
#include <thread>

namespace cuh::linux_desktop {
namespace {

constexpr long kSourcePager = 2;

std::vector<::Window> common(const std::vector<::Window>& list,
                             const std::vector<::Window>& other) {
  std::vector<::Window> result;
  for (::Window window : list) {
    if (std::find(other.begin(), other.end(), window) != other.end())
      result.push_back(window);
  }
  return result;
}

}  // namespace

ForegroundState readForeground(XConnection& x) {
  XWindowReader reader(x);
  ForegroundState state;
  state.activeWindow = reader.activeWindow();
  state.stacking = reader.clientListStacking();
  return state;
}

std::vector<std::pair<::Window, ::Window>> restackPlan(const std::vector<::Window>& wanted,
                                                       const std::vector<::Window>& current) {
  std::vector<::Window> want = common(wanted, current);
  std::vector<::Window> have = common(current, wanted);
  std::vector<std::pair<::Window, ::Window>> plan;
  size_t first = 0;
  while (first < want.size() && want[first] == have[first])
    ++first;
  if (first == want.size())
    return plan;
  // From the first difference on, put each window directly below the one
  // that should be above it. The window at `first` needs a move too when it
  // is not the front one; its sibling is the window above it, already in
  // place.
  for (size_t i = std::max<size_t>(first, 1); i < want.size(); ++i)
    plan.emplace_back(want[i], want[i - 1]);
  if (first == 0) {
    // The front window itself changed: raise the wanted front window above
    // the current front one.
    plan.insert(plan.begin(), {want[0], 0});
  }
  return plan;
}

void ForegroundGiveBack::sendToRoot(::Window window, Atom type, const long (&data)[5]) {
  if (x_.lost() || !type)
    return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  for (int i = 0; i < 5; ++i)
    event.xclient.data.l[i] = data[i];
  XSendEvent(x_.display(), x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
}

void ForegroundGiveBack::activate(::Window window) {
  // A real timestamp, never CurrentTime; the requestor's active window is
  // none (the helper has no window of the user's).
  long time = static_cast<long>(x_.serverTime());
  const long data[5] = {kSourcePager, time, 0, 0, 0};
  sendToRoot(window, x_.atom("_NET_ACTIVE_WINDOW"), data);
}

void ForegroundGiveBack::restackBelow(::Window window, ::Window sibling) {
  // sibling 0 with Above raises the window to the top of its layer.
  const long data[5] = {kSourcePager, static_cast<long>(sibling), sibling ? Below : Above, 0, 0};
  sendToRoot(window, x_.atom("_NET_RESTACK_WINDOW"), data);
}

bool ForegroundGiveBack::restore(const ForegroundState& state, std::chrono::milliseconds wait) {
  if (x_.lost())
    return false;
  ForegroundState now = readForeground(x_);
  for (const auto& [window, sibling] : restackPlan(state.stacking, now.stacking))
    restackBelow(window, sibling);
  if (state.activeWindow && now.activeWindow != state.activeWindow)
    activate(*state.activeWindow);
  XFlush(x_.display());
  // Wait for the window manager to carry it out, watching the properties.
  auto deadline = std::chrono::steady_clock::now() + wait;
  XWindowReader reader(x_);
  for (;;) {
    now = readForeground(x_);
    bool activeOk = !state.activeWindow || now.activeWindow == state.activeWindow ||
                    !reader.read(*state.activeWindow);
    bool stackingOk = common(now.stacking, state.stacking) == common(state.stacking, now.stacking);
    if (activeOk && stackingOk)
      return true;
    if (x_.lost() || std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace cuh::linux_desktop
