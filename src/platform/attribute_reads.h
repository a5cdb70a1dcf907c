// Accessibility attribute reads that both the core and the backends' shared
// mechanisms use. Neither fails: an unreadable attribute gives none.
#pragma once

#include <optional>
#include <string_view>

#include "platform/accessibility.h"

namespace cuh::platform {

// A boolean's value, else a number's boolean value;
// none when unreadable or of another kind.
std::optional<bool> boolAttribute(Accessibility& ax,
                                  const AXElement& element,
                                  std::string_view attribute);

// The element under `attribute` when the read succeeds and yields an element
// (the parent, an application's focused window or focused element).
std::optional<AXElement> elementAttribute(Accessibility& ax,
                                          const AXElement& element,
                                          std::string_view attribute);

}  // namespace cuh::platform
