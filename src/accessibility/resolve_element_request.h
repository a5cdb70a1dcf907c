// "resolve_element": re-resolves an observed element and answers where its
// centre lies in the window, so the caller can check it before acting.
#pragma once

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// "resolve_element": reads "pid", "windowId", "width",
// "height" and the object "element", in this order; checks the observed
// window (observed_window.h); resolves the element without requiring a
// durable identity and without strict value comparison. Returns
// {"targetX", "targetY", "windowX", "windowY", "windowWidth",
// "windowHeight"}: the element's centre relative to the window-list frame,
// and that frame. Raises HelperFailure with the failures of the window
// check, of resolveExpectedElement, and:
// - "The indexed accessibility element no longer has actionable bounds. Call
//   get_app_state again";
// - "The indexed accessibility element moved outside the target window. Call
//   get_app_state again".
Json resolveElementRequest(platform::Platform& platform, const Json& params);

}  // namespace cuh
