// Exact window resolution: the one accessibility window element of a process
// that is the window a window-server row describes, matched on frame,
// visibility and title. It refuses rather than guesses.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace cuh {

// windowMatches(_:row:): the element's frame is within the row's frame
// tolerance, it is neither hidden nor minimised, and the titles agree.
bool windowMatches(platform::Accessibility& ax,
                   const platform::AXElement& window,
                   const platform::Value& row);

// The frame tolerance of windowMatches for a row frame of this size.
double windowFrameTolerance(double width, double height);

// Whether an accessibility title agrees with a row's title and owner name.
bool titlesAgree(const std::string& elementTitle,
                 const std::string& rowTitle,
                 const std::string& ownerName);

// exactWindow(pid:windowID:row:): the window's accessibility element.
// Retries twice, 0.1 s apart (blocking the main thread), with a fresh row;
// raises HelperFailure when the match is not unique or the window changed.
platform::AXElement exactWindow(platform::Platform& platform,
                                int32_t pid,
                                uint32_t windowID,
                                const platform::Value& row);

}  // namespace cuh
