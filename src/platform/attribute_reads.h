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
// The same rule over a read already made (a single read, or a slot of a
// batched read).
std::optional<bool> booleanOf(const AXResult<Value>& read);

// The element under `attribute` when the read succeeds and yields an element
// (the parent, an application's focused window or focused element).
std::optional<AXElement> elementAttribute(Accessibility& ax,
                                          const AXElement& element,
                                          std::string_view attribute);
// The same rule over a read already made.
std::optional<AXElement> elementOf(const AXResult<Value>& read);

}  // namespace cuh::platform
