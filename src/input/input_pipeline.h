// The one pipeline every kind of background input ("click", "drag",
// "scroll", "key") goes through: the shared validation steps, the foreground
// snapshot, synthetic active/key state, waiting for readiness, the posting
// step with its ordered re-validation, and the verification 0.12 s after the
// last event. A method supplies only what differs: its parameters and own
// checks, its messages, and the gesture the platform's background input
// carries out.
//
// Completion contract: a start function throws HelperFailure for every
// failure found before anything is scheduled. Once it returns normally, the
// request is answered exactly once through its Reply, either already (the
// posting step ran inside the call) or from a later main-loop step. The
// posting step does nothing when the request's completion is gone; the
// verification step keeps the completion alive until it has answered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "guard/foreground_guard.h"
#include "platform/background_input.h"
#include "platform/foreground.h"
#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/reply.h"
#include "windows/listed_window.h"

namespace cuh {

// The settle time between the last posted event and the verification.
inline constexpr double kInputVerificationDelay = 0.12;

// ---- Shared validation steps (synchronous; each throws HelperFailure) ----

// The user's foreground window now. "Could not identify the foreground macOS
// app; no background input was sent" when no application is frontmost.
platform::ForegroundSnapshot requireForegroundSnapshot(platform::Platform& platform);

// The element of the target application under a screen point (the hit test
// takes 32-bit float coordinates), when it lies in `window`.
std::optional<platform::AXElement> hitElementInWindow(platform::Platform& platform,
                                                      int32_t pid,
                                                      platform::Point screenPoint,
                                                      const platform::AXElement& window);

// ---- The asynchronous part ----

// What validation established about the target.
struct InputTarget {
  int32_t pid = 0;
  uint32_t windowID = 0;
  platform::RunningApplicationRef application;  // as found at validation
  platform::Rect frame;                         // as listed at validation
  platform::AXElement window;                   // exactWindow at validation
  platform::ForegroundSnapshot foreground;      // taken last
};

// Each method's wording for the shared checks.
struct InputMessages {
  // The target application is gone at validation.
  std::string notRunning;
  // Re-validation: the foreground changed while waiting.
  std::string foregroundChanged;
  // Re-validation: the synthetic state was not confirmed.
  std::string stateNotEntered;
  // Verification: the foreground changed after the events were posted.
  std::string mayHaveCompleted;
  // An event of the gesture could not be built.
  std::string eventNotCreated;
  // The event of a modifier key could not be built (keystrokes only).
  std::string modifierEventNotCreated;
  // Refusals of desktops whose input cannot go everywhere macOS's can:
  // a key without a key on the keyboard, a point on the window's frame, an
  // amount too large to send as events.
  std::string keyNotOnKeyboard;
  std::string pointOutsideWindowArea;
  std::string amountTooLarge;
  // Verification: a popup of the target opened and was dismissed.
  std::string popupDismissed;
};

// The messages of the method whose input is named `noun` ("click", "drag",
// "scroll", "key"), with its own words for events it could not build.
InputMessages inputMessages(std::string_view noun,
                            std::string eventNotCreated,
                            std::string modifierEventNotCreated = {});

// The validation every input method starts with, in this order: the window
// is still listed with a frame; when `observedSize` is given, the frame has
// that size (the usual "resized" answer); the method's own checks of the
// listed frame (`checkFrame`, may be empty); the target application runs;
// its exact accessibility window. The foreground is the method's to take,
// after its own further checks.
InputTarget validateInputTarget(platform::Platform& platform,
                                int32_t pid,
                                uint32_t windowID,
                                std::optional<platform::Size> observedSize,
                                const std::function<void(const platform::Rect& frame)>& checkFrame,
                                const InputMessages& messages);

// The window as the posting step found it again: its row, frame and
// accessibility element.
struct WindowNow {
  platform::Value row;
  platform::Rect frame;
  platform::AXElement window;
};

// What a method sends once the shared re-validation passed.
struct SendPlan {
  // The gesture, placed on the window as found again.
  std::optional<platform::Gesture> gesture;
  // Instead of a gesture: the request is complete without any event
  // (select-all), with this result. No verification follows.
  std::optional<Json> completed;
  // The gesture was sent: builds the result, given the wall-clock time
  // after the last event in milliseconds, once the foreground proved
  // unchanged 0.12 s later.
  std::function<Json(int64_t eventPostedAtMs)> resultAfterVerification;
};

// A method's own checks after the shared re-validation, and what it sends. Throws
// HelperFailure (the request then finishes with that message and nothing is
// sent).
using PlaceStep = std::function<SendPlan(const WindowNow& now)>;

// Everything after validation: requireInternallyFocusedWindow (unless
// `requireInternallyFocused` is false), establishSyntheticState and
// afterSyntheticStateReady with the posting step as its completion. The
// posting step hands the platform's background input the re-validation and
// `place` as the one check before its first event. Throws the failures of
// the first two; from the wait on, every outcome finishes the request
// exactly once.
void postWhenReady(platform::Platform& platform,
                   ForegroundGuard& guard,
                   Reply reply,
                   InputTarget target,
                   InputMessages messages,
                   bool requireInternallyFocused,
                   PlaceStep place);

// The posting step's shared re-validation, in this order: the user's window
// is still in front; the synthetic state is confirmed; the same launch of
// the target runs; the window is still listed, not moved or resized beyond
// 1.5 points, and the same accessibility window. Throws the first
// failing order's message (or exactWindow's own failure).
WindowNow revalidateBeforeSending(platform::Platform& platform,
                                  ForegroundGuard& guard,
                                  const InputTarget& target,
                                  const InputMessages& messages);

}  // namespace cuh
