// Accessibility page scrolling, shared by "element_action" ("page_scroll")
// and "scroll" (its accessibility path): the direction's action name, the
// element that offers it (the element or an ancestor up to the window), and
// the page count.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/accessibility.h"
#include "protocol/json.h"

namespace cuh {

// Elements examined for the action: the element and up to 31 ancestors.
inline constexpr int kPageScrollChainLimit = 32;
// The most page actions one request performs. Each is a synchronous call
// into the target; the bound keeps a huge "pages" from holding the helper
// (and the user's foreground protection) for minutes. 1000 pages is far
// beyond any real document view.
inline constexpr int64_t kMaxPageScrollPages = 1000;

// AXScrollUpByPage, AXScrollDownByPage, AXScrollLeftByPage or
// AXScrollRightByPage for "up", "down", "left" or "right" (exactly, case
// matters); none for anything else.
std::optional<std::string_view> pageScrollAction(std::string_view direction);

// The first element, starting with `element` and following AXParent,
// whose action names contain `action`. The walk ends after the window
// element (whose actions are still examined), when AXParent cannot be
// read as an element, or after kPageScrollChainLimit elements. None when no
// examined element offers the action.
std::optional<platform::AXElement> pageScrollTarget(platform::Accessibility& ax,
                                                    const platform::AXElement& element,
                                                    const platform::AXElement& window,
                                                    std::string_view action);

// The number of page actions for the "pages" parameter: absent or not a
// number gives 1; otherwise the ceiling, and 1 when that is below 1 (so 0,
// negative values and 1 give one page, 2.1 gives three). This also serves
// the rule "1 when below 2", which gives the same counts: a ceiling is an
// integer, and the only integer in [1, 2) is 1.
// Raises HelperFailure naming "pages" when the value is not finite, its
// ceiling does not fit a signed 64-bit integer, or it exceeds
// kMaxPageScrollPages; nothing has been performed then.
int64_t pageScrollCount(const Json& params);

}  // namespace cuh
