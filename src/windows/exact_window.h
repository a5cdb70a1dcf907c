// Exact window resolution: the one accessibility window element of a process
// that is the window a window-server row describes, matched on frame,
// visibility and title. It refuses rather than guesses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace cuh {

// What windowMatches reads of one window element: its frame, AXHidden,
// AXMinimized and AXTitle, read together in one round trip when the
// comparison first needs one of them, and at most once. A listing compares
// one application's focused window with every row of that application; the
// element does not change in between, so one read serves all rows.
class WindowElementFacts {
 public:
  WindowElementFacts(platform::Accessibility& ax, platform::AXElement element)
      : ax_(&ax), element_(std::move(element)) {}

  const platform::AXElement& element() const { return element_; }
  // The element's frame (rect).
  const std::optional<platform::Rect>& frame();
  // AXHidden or AXMinimized is true (an unreadable attribute is not).
  bool hiddenOrMinimized();
  // Its AXTitle as text.
  const std::string& title();

 private:
  struct Facts {
    std::optional<platform::Rect> frame;
    bool hiddenOrMinimized = false;
    std::string title;
  };
  void read();

  platform::Accessibility* ax_;
  platform::AXElement element_;
  std::optional<Facts> facts_;
};

// The row and the element both have a frame, the
// frames agree within windowFrameTolerance, the element is neither hidden
// nor minimised, and the titles agree.
bool windowMatches(WindowElementFacts& window, const platform::Value& row);
bool windowMatches(platform::Accessibility& ax,
                   const platform::AXElement& window,
                   const platform::Value& row);

// The frame tolerance of windowMatches for a row frame of this size:
// max(width, height) x 0.002, at least 2.0, and 8.0 from 8.0 on.
double windowFrameTolerance(double width, double height);

// Whether an accessibility title agrees with a row's title and owner name.
// Compared under Unicode canonical equivalence, without case folding or
// trimming.
bool titlesAgree(const std::string& elementTitle,
                 const std::string& rowTitle,
                 const std::string& ownerName);

// The window's accessibility element. When
// the first resolution is not unique, retries twice, 0.1 s apart (blocking
// the main thread), with a fresh row of the window; raises HelperFailure
// when the match stays not unique or the window moved or resized.
platform::AXElement exactWindow(platform::Platform& platform,
                                int32_t pid,
                                uint32_t windowID,
                                const platform::Value& row);

}  // namespace cuh
