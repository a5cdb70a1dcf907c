// The part of "element_action" that every operation shares: the validation
// that runs before anything in the target is changed (window, size, running
// application, exact window, foreground snapshot, the operation's own
// preconditions, the semantic guard armed and verified), the resolution of
// the observed element, the settle and readback waits, and the completion
// that proves the target application and the foreground did not change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "guard/foreground_guard.h"
#include "platform/foreground.h"
#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// Operation names.
inline constexpr std::string_view kActivateButton = "activate_button";
inline constexpr std::string_view kFocusEditable = "focus_editable";
inline constexpr std::string_view kPerformAction = "action";
inline constexpr std::string_view kSetValue = "set_value";
inline constexpr std::string_view kSelectText = "select_text";
inline constexpr std::string_view kPageScroll = "page_scroll";
inline constexpr std::string_view kInsertText = "insert_text";

// Waits of the main loop (nested runs, not sleeps: the event tap, timers
// and queued main-thread work run meanwhile).
inline constexpr double kSettleSeconds = 0.04;
inline constexpr double kReadbackWaitSeconds = 0.03;
inline constexpr int kReadbackReads = 10;

// What one request holds from validation to its answer.
struct ElementActionContext {
  ElementActionContext(platform::Platform& platformRef, ForegroundGuard& guardRef, const Json& p)
      : platform(platformRef), guard(guardRef), params(p) {}

  platform::Platform& platform;
  ForegroundGuard& guard;
  const Json& params;

  int32_t pid = 0;
  uint32_t windowID = 0;
  std::string operation;
  // The target's running application as validation found it: the reference
  // of the application identity check.
  platform::RunningApplicationRef application;
  platform::AXElement applicationElement;
  platform::AXElement window;
  platform::Rect windowFrame;
  platform::ForegroundSnapshot foreground;
  // None when the target application is itself in front.
  platform::GuardedTargetRef controller;

  platform::Accessibility& ax() const { return platform.accessibility(); }
};

// The validation of every operation, in this order: reads "pid", "windowId", "width", "height" and
// "operation"; checks the window, its size, the running application and the
// exact window; takes the foreground snapshot; applies the refusals of
// "activate_button"/"action" (another window of the target in front) and
// "focus_editable" (not the application's focused window); arms the
// semantic guard and verifies it before any change. Throws HelperFailure;
// nothing in the target has been changed then.
ElementActionContext validateElementAction(platform::Platform& platform,
                                           ForegroundGuard& guard,
                                           const Json& params);

// After the operation's own parameters: reads "element" and resolves it in the window, with a
// durable identity required and the value compared strictly for
// "set_value", "select_text" and "focus_editable".
platform::AXElement resolveActionElement(const ElementActionContext& context);

// Runs the main loop for the settle time after an action or a focus change.
void settle(const ElementActionContext& context);

// Reads AXValue of `element` as text until it is canonically equal to
// `expected`: at most kReadbackReads reads, with a kReadbackWaitSeconds run
// of the main loop after every read that disagrees. Returns whether it
// agreed.
bool readBackValue(const ElementActionContext& context,
                   const platform::AXElement& element,
                   const std::string& expected);

// The completion of every operation except "insert_text": the application
// identity check, then the semantic guard verified with the mutation
// possibly done. Returns {"delivery": "verified"}.
Json completeElementAction(const ElementActionContext& context);

}  // namespace cuh
