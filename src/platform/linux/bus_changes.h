// The arithmetic of changing objects over the accessibility bus, apart
// from the calls: numbers from the protocol's text values, steps and pages
// of value objects, and the protocol's UTF-16 ranges as the bus's
// character offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace cuh::linux_desktop {

// A value object's numbers, as the Value interface reports them.
struct ValueRange {
  double minimum = 0;
  double maximum = 0;
  double minimumIncrement = 0;
};

// The number a text value names: the whole text a finite decimal number
// (surrounding spaces allowed); none for anything else, the empty text
// included.
std::optional<double> numberFromText(std::string_view text);

// One step up (`direction` 1) or down (-1) from `current`: the minimum
// increment, or a hundredth of the range where the object reports none,
// within the range.
double steppedValue(double current, const ValueRange& range, int direction);

// `current` moved by `page` in `direction` (1 or -1), within the range.
double pagedValue(double current, const ValueRange& range, double page, int direction);

// The page-scroll actions a scroll pane offers for its scroll bars, in the
// order up, down, left, right.
std::vector<std::string_view> pageScrollActions(bool verticalBar, bool horizontalBar);
// The direction of a page-scroll action: whether it moves the vertical bar,
// and which way (1 forward, -1 back); none for any other action.
struct PageDirection {
  bool vertical = true;
  int direction = 1;
};
std::optional<PageDirection> pageDirectionOf(std::string_view action);

// A UTF-16 range (location, length) of `text` as character offsets
// [start, end): a range that ends inside a surrogate pair takes the whole
// character (a caret inside one stands before it); a range beyond the text
// is clamped to it. None for a negative
// location or length.
struct CharacterRange {
  int64_t start = 0;
  int64_t end = 0;
  friend bool operator==(const CharacterRange&, const CharacterRange&) = default;
};
std::optional<CharacterRange> characterRange(std::string_view utf8,
                                             int64_t location,
                                             int64_t length);

}  // namespace cuh::linux_desktop
