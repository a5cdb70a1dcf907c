// Relations between accessible objects that take a walk: the window an
// object lies in (up its parents) and the focused object in a window (down
// its children). Applications report these relations themselves, and a
// broken or hostile one may report a cycle or thousands of children: every
// walk here remembers what it met and stops at a fixed bound.
#pragma once

#include <functional>
#include <optional>

#include "platform/linux/atspi_client.h"

namespace cuh::linux_desktop {

// Parent steps from an object to its application before giving up.
inline constexpr int kMaxParentSteps = 256;
// Objects a search for the focused object examines at most.
inline constexpr int kMaxSearchedObjects = 4096;

using ParentLookup = std::function<std::optional<AccessibleRef>(const AccessibleRef&)>;

// The top-level (the application root's child) that `object` lies under,
// following `parentOf`; the object itself when it is a top-level. None when
// the chain ends elsewhere, loops, or is longer than kMaxParentSteps.
std::optional<AccessibleRef> toplevelOf(const AccessibleRef& object, const ParentLookup& parentOf);
// The same over the bus (one Parent read per step).
std::optional<AccessibleRef> toplevelOf(AtspiClient& client, const AccessibleRef& object);

// The focused object under `window` (not the window itself): breadth first,
// each level's states and children read in one pipelined batch, objects met
// twice skipped, at most kMaxSearchedObjects examined. None when none is
// focused within the bound.
std::optional<AccessibleRef> focusedDescendant(AtspiClient& client, const AccessibleRef& window);

}  // namespace cuh::linux_desktop
