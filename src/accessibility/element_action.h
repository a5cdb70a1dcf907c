// "element_action": changes one element of one exact window of a target
// process through accessibility alone (no input events, the window stays in
// the background), under the semantic guard. Operations: "activate_button",
// "focus_editable", "action", "set_value", "select_text", "page_scroll" and
// "insert_text".
#pragma once

#include "guard/foreground_guard.h"
#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// "element_action": validates, arms and verifies the semantic
// guard, resolves the element (except for "insert_text"), performs the
// operation and confirms it. Returns {"delivery": "verified"} ("insert_text"
// adds "value"); throws HelperFailure otherwise. Synchronous: its waits are
// nested runs of the main loop. The caller completes the request through
// finish, which restores the controller the guard armed.
Json performElementAction(platform::Platform& platform, ForegroundGuard& guard, const Json& params);

}  // namespace cuh
