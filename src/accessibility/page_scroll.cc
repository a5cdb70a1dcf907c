#include "accessibility/page_scroll.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/ax_names.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/ax_readers.h"

namespace cuh {

std::optional<std::string_view> pageScrollAction(std::string_view direction) {
  if (direction == "up")
    return ax::kScrollUpByPageAction;
  if (direction == "down")
    return ax::kScrollDownByPageAction;
  if (direction == "left")
    return ax::kScrollLeftByPageAction;
  if (direction == "right")
    return ax::kScrollRightByPageAction;
  return std::nullopt;
}

std::optional<platform::AXElement> pageScrollTarget(platform::Accessibility& ax,
                                                    const platform::AXElement& element,
                                                    const platform::AXElement& window,
                                                    std::string_view action) {
  platform::AXElement current = element;
  for (int examined = 0; examined < kPageScrollChainLimit; ++examined) {
    std::vector<std::string> names = actions(ax, current);
    if (std::find(names.begin(), names.end(), action) != names.end())
      return current;
    if (current.isEqual(window))
      return std::nullopt;
    auto parent = platform::elementAttribute(ax, current, ax::kParentAttribute);
    if (!parent)
      return std::nullopt;
    current = std::move(*parent);
  }
  return std::nullopt;
}

int64_t pageScrollCount(const Json& params) {
  std::optional<double> pages = optionalNumber(params, "pages");
  if (!pages)
    return 1;
  double ceiling = std::ceil(*pages);
  // Not finite, beyond the signed 64-bit range, or above the bound.
  if (!(ceiling >= -9223372036854775808.0 && ceiling <= static_cast<double>(kMaxPageScrollPages))) {
    throw HelperFailure(
        "The macOS computer-use parameter pages is out of range; use a finite number of at most " +
        std::to_string(kMaxPageScrollPages) + " pages");
  }
  return std::max<int64_t>(1, static_cast<int64_t>(ceiling));
}

}  // namespace cuh
