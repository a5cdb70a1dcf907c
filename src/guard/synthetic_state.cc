// Synthetic active/key state for posted input: the foreground process needs
// none; a background target's window must be one posted input can reach,
// is put into the state by the platform, and is polled until the state is
// confirmed, the user's window changed or the attempts ran out.
#include "guard/synthetic_state.h"

#include "guard/foreground_guard.h"
#include "guard/protection_messages.h"
#include "protocol/helper_failure.h"

namespace cuh {

void ForegroundGuard::requireInternallyFocusedWindow(
    int32_t pid,
    const platform::AXElement& window,
    const platform::ForegroundSnapshot& foreground) {
  if (foreground.pid == pid || protection_.acceptsPostedInput(pid, window))
    return;
  throw HelperFailure(
      "The exact target is not the app's internally active window, so macOS cannot safely route "
      "background pointer or key input to it. Use an accessibility element action or target the "
      "app's active window");
}

void ForegroundGuard::establishSyntheticState(int32_t pid,
                                              uint32_t windowID,
                                              const platform::AXElement& window,
                                              const platform::Rect& windowBounds,
                                              const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return;
  throwUnlessDone(
      protection_.establishSyntheticState(pid, windowID, window, windowBounds, foreground));
}

bool ForegroundGuard::syntheticStateReady(int32_t pid,
                                          uint32_t windowID,
                                          const platform::ForegroundSnapshot& foreground) {
  if (pid == foreground.pid)
    return windowID == foreground.windowID;
  return protection_.syntheticStateReady(pid, windowID);
}

void ForegroundGuard::afterSyntheticStateReady(int32_t pid,
                                               uint32_t windowID,
                                               const platform::ForegroundSnapshot& foreground,
                                               int attempt,
                                               std::function<void()> completion) {
  if (pid == foreground.pid || syntheticStateReady(pid, windowID, foreground)) {
    completion();
    return;
  }
  if (attempt < kReadinessAttempts && platform::foregroundStillMatches(platform_, foreground)) {
    std::weak_ptr<int> alive = alive_;
    platform_.mainLoop().postDelayed(
        kReadinessInterval, [this, alive, pid, windowID, foreground, attempt,
                             completion = std::move(completion)]() mutable {
          if (alive.expired())
            return;
          afterSyntheticStateReady(pid, windowID, foreground, attempt + 1, std::move(completion));
        });
    return;
  }
  completion();
}

}  // namespace cuh
