#include "input/input_pipeline.h"

#include <cmath>
#include <exception>
#include <utility>

#include "accessibility/element_relations.h"
#include "platform/window_rows.h"
#include "protocol/helper_failure.h"
#include "protocol/messages.h"
#include "protocol/params.h"
#include "windows/exact_window.h"

namespace cuh {

InputMessages inputMessages(std::string_view noun,
                            std::string eventNotCreated,
                            std::string modifierEventNotCreated) {
  std::string what(noun);
  InputMessages messages;
  messages.notRunning = "The target macOS app is no longer running; no " + what + " was sent";
  messages.foregroundChanged = stoppedByForegroundChange(what);
  messages.stateNotEntered =
      "The target macOS window did not enter synthetic active/key state; no " + what + " was sent";
  messages.mayHaveCompleted = "The " + what +
                              " may have completed after the user changed the foreground window "
                              "and cannot be safely retried";
  messages.eventNotCreated = std::move(eventNotCreated);
  messages.modifierEventNotCreated = std::move(modifierEventNotCreated);
  messages.keyNotOnKeyboard =
      "The key has no key code on this desktop's keyboard; no " + what + " was sent";
  messages.pointOutsideWindowArea =
      "The point lies on the window's frame (title bar or edge), where the " + what +
      " would move or raise the window; no " + what + " was sent";
  messages.popupDismissed = popupDismissedMessage(what);
  messages.amountTooLarge =
      "The " + what + " is larger than this desktop sends at once; no " + what + " was sent";
  return messages;
}

InputTarget validateInputTarget(platform::Platform& platform,
                                int32_t pid,
                                uint32_t windowID,
                                std::optional<platform::Size> observedSize,
                                const std::function<void(const platform::Rect& frame)>& checkFrame,
                                const InputMessages& messages) {
  ListedWindow listed =
      observedSize ? checkObservedWindow(platform, pid, windowID, observedSize->width,
                                         observedSize->height, kObservedWindowMessages)
                   : findListedWindow(platform, pid, windowID, kObservedWindowMessages.disappeared);
  if (checkFrame)
    checkFrame(listed.frame);
  InputTarget target;
  target.pid = pid;
  target.windowID = windowID;
  target.application = platform.workspace().runningApplicationWithProcessIdentifier(pid);
  if (!target.application || target.application->isTerminated())
    throw HelperFailure(messages.notRunning);
  target.frame = listed.frame;
  target.window = exactWindow(platform, pid, windowID, listed.row);
  return target;
}

platform::ForegroundSnapshot requireForegroundSnapshot(platform::Platform& platform) {
  std::optional<platform::ForegroundSnapshot> snapshot = platform::currentForeground(platform);
  if (!snapshot) {
    throw HelperFailure(
        "Could not identify the foreground macOS app; no background input was sent");
  }
  return *snapshot;
}

std::optional<platform::AXElement> hitElementInWindow(platform::Platform& platform,
                                                      int32_t pid,
                                                      platform::Point screenPoint,
                                                      const platform::AXElement& window) {
  platform::Accessibility& ax = platform.accessibility();
  auto hit = ax.copyElementAtPosition(ax.createApplication(pid), static_cast<float>(screenPoint.x),
                                      static_cast<float>(screenPoint.y));
  if (!hit.ok() || !hit.value || !*hit.value || !belongsToWindow(ax, *hit.value, window))
    return std::nullopt;
  return *hit.value;
}

WindowNow revalidateBeforeSending(platform::Platform& platform,
                                  ForegroundGuard& guard,
                                  const InputTarget& target,
                                  const InputMessages& messages) {
  // The user's window is still the one in front.
  if (!platform::foregroundStillMatches(platform, target.foreground))
    throw HelperFailure(messages.foregroundChanged);
  // The synthetic state was confirmed and nothing undid it.
  if (!guard.syntheticStateReady(target.pid, target.windowID, target.foreground))
    throw HelperFailure(messages.stateNotEntered);
  // The same launch of the target still runs under its pid.
  platform::RunningApplicationRef current =
      platform.workspace().runningApplicationWithProcessIdentifier(target.pid);
  if (target.application->isTerminated() || !current || current->isTerminated() ||
      !current->isEqual(*target.application)) {
    throw HelperFailure(
        "The target macOS app changed before input was sent. Call get_app_state again");
  }
  // The window is still listed, with a frame.
  ListedWindow listed = findListedWindow(
      platform, target.pid, target.windowID,
      "The exact target macOS window disappeared before input was sent. Call get_app_state again");
  const platform::Rect& frame = listed.frame;
  // It has not moved or resized beyond the tolerance.
  if (!withinFrameTolerance(frame.minX(), target.frame.minX()) ||
      !withinFrameTolerance(frame.minY(), target.frame.minY()) ||
      !withinFrameTolerance(frame.width(), target.frame.width()) ||
      !withinFrameTolerance(frame.height(), target.frame.height())) {
    throw HelperFailure(
        "The target macOS window moved or resized before input was sent. Call get_app_state "
        "again");
  }
  // It is still the same accessibility window.
  platform::AXElement window = exactWindow(platform, target.pid, target.windowID, listed.row);
  if (!window.isEqual(target.window)) {
    throw HelperFailure(
        "The target macOS window identity changed before input was sent. Call get_app_state "
        "again");
  }
  return WindowNow{std::move(listed.row), frame, std::move(window)};
}

namespace {

// The error text of a failure inside a later step.
std::string failureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const HelperFailure& helperFailure) {
    return helperFailure.message();
  } catch (const std::exception& other) {
    return other.what();
  } catch (...) {
    return "The macOS background input failed unexpectedly";
  }
}

// 0.12 s after the last event: the user's window must still be in front.
void scheduleVerification(platform::Platform& platform,
                          Reply reply,
                          int32_t pid,
                          platform::ForegroundSnapshot foreground,
                          std::string mayHaveCompleted,
                          std::string popupDismissed,
                          int64_t eventPostedAtMs,
                          std::function<Json(int64_t)> buildResult) {
  // `owner` keeps the request's completion alive until the answer.
  platform.mainLoop().postDelayed(
      kInputVerificationDelay,
      [&platform, owner = reply.completion(), reply, pid, foreground, mayHaveCompleted,
       popupDismissed, eventPostedAtMs, buildResult = std::move(buildResult)]() mutable {
        std::optional<Json> result;
        std::optional<std::string> error;
        if (!platform::foregroundStillMatches(platform, foreground)) {
          error = mayHaveCompleted;
        } else if (platform.foregroundProtection().popupDismissed(pid)) {
          error = popupDismissed;
        } else {
          try {
            result = buildResult ? buildResult(eventPostedAtMs) : Json::object();
          } catch (...) {
            error = failureText(std::current_exception());
          }
        }
        reply.answer(std::move(result), std::move(error));
      });
}

// The message of a gesture the platform could not send.
const std::string& sendFailure(platform::InputOutcome outcome, const InputMessages& messages) {
  switch (outcome) {
    case platform::InputOutcome::modifierEventNotCreated:
      if (!messages.modifierEventNotCreated.empty())
        return messages.modifierEventNotCreated;
      break;
    case platform::InputOutcome::keyNotOnKeyboard:
      return messages.keyNotOnKeyboard;
    case platform::InputOutcome::pointOutsideWindowArea:
      return messages.pointOutsideWindowArea;
    case platform::InputOutcome::amountTooLarge:
      return messages.amountTooLarge;
    default:
      break;
  }
  return messages.eventNotCreated;
}

void runPostingStep(platform::Platform& platform,
                    ForegroundGuard& guard,
                    Reply& reply,
                    const InputTarget& target,
                    const InputMessages& messages,
                    const PlaceStep& place) {
  if (!reply.completion())
    return;
  SendPlan plan;
  std::exception_ptr refusal;
  // The re-validation runs inside the platform's send, before anything of
  // the gesture is built; its failure is carried out of it, not thrown
  // through it.
  auto placeGesture = [&]() -> std::optional<platform::PlacedGesture> {
    try {
      WindowNow now = revalidateBeforeSending(platform, guard, target, messages);
      plan = place(now);
      if (!plan.gesture)
        return std::nullopt;
      return platform::PlacedGesture{now.frame, *plan.gesture};
    } catch (...) {
      refusal = std::current_exception();
      return std::nullopt;
    }
  };
  std::optional<std::string> error;
  platform::InputOutcome sent = platform::InputOutcome::notPlaced;
  try {
    sent = platform.backgroundInput().send(target.pid, target.windowID, placeGesture);
  } catch (...) {
    error = failureText(std::current_exception());
  }
  if (refusal)
    error = failureText(refusal);
  else if (!error && !plan.completed && sent != platform::InputOutcome::sent)
    error = sendFailure(sent, messages);

  // The answer goes out of any try: it may start the next request, whose
  // failures are not this request's.
  if (error) {
    reply.fail(std::move(*error));
  } else if (plan.completed) {
    reply.succeed(std::move(*plan.completed));
  } else {
    // Rounded half away from zero.
    int64_t eventPostedAtMs = std::llround(platform.process().currentDate() * 1000.0);
    scheduleVerification(platform, reply, target.pid, target.foreground, messages.mayHaveCompleted,
                         messages.popupDismissed, eventPostedAtMs,
                         std::move(plan.resultAfterVerification));
  }
}

}  // namespace

void postWhenReady(platform::Platform& platform,
                   ForegroundGuard& guard,
                   Reply reply,
                   InputTarget target,
                   InputMessages messages,
                   bool requireInternallyFocused,
                   PlaceStep place) {
  if (requireInternallyFocused)
    guard.requireInternallyFocusedWindow(target.pid, target.window, target.foreground);
  guard.establishSyntheticState(target.pid, target.windowID, target.window, target.frame,
                                target.foreground);
  int32_t pid = target.pid;
  uint32_t windowID = target.windowID;
  platform::ForegroundSnapshot foreground = target.foreground;
  // The guard runs this on the main thread once waiting ends, and never when
  // it is gone.
  guard.afterSyntheticStateReady(
      pid, windowID, foreground, 0,
      [&platform, &guard, reply = std::move(reply), target = std::move(target), messages,
       place = std::move(place)]() mutable {
        runPostingStep(platform, guard, reply, target, messages, place);
      });
}

}  // namespace cuh
