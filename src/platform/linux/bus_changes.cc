#include "platform/linux/bus_changes.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/ax_names.h"
#include "platform/linux/text_offsets.h"

namespace cuh::linux_desktop {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

double clampTo(double value, const ValueRange& range) {
  // A range whose ends are swapped or not numbers leaves the value as it is
  // asked rather than inventing one.
  if (!(range.minimum <= range.maximum))
    return value;
  return std::clamp(value, range.minimum, range.maximum);
}

}  // namespace

std::optional<double> numberFromText(std::string_view text) {
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);
  if (text.empty())
    return std::nullopt;
  if (text.front() == '+')
    text.remove_prefix(1);
  double value = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

double steppedValue(double current, const ValueRange& range, int direction) {
  double step = range.minimumIncrement;
  if (!(step > 0) || !std::isfinite(step))
    step = (range.maximum - range.minimum) / 100;
  if (!(step > 0) || !std::isfinite(step))
    step = 1;
  return clampTo(current + direction * step, range);
}

double pagedValue(double current, const ValueRange& range, double page, int direction) {
  return clampTo(current + direction * page, range);
}

std::vector<std::string_view> pageScrollActions(bool verticalBar, bool horizontalBar) {
  std::vector<std::string_view> actions;
  if (verticalBar) {
    actions.push_back(ax::kScrollUpByPageAction);
    actions.push_back(ax::kScrollDownByPageAction);
  }
  if (horizontalBar) {
    actions.push_back(ax::kScrollLeftByPageAction);
    actions.push_back(ax::kScrollRightByPageAction);
  }
  return actions;
}

std::optional<PageDirection> pageDirectionOf(std::string_view action) {
  if (action == ax::kScrollUpByPageAction)
    return PageDirection{true, -1};
  if (action == ax::kScrollDownByPageAction)
    return PageDirection{true, 1};
  if (action == ax::kScrollLeftByPageAction)
    return PageDirection{false, -1};
  if (action == ax::kScrollRightByPageAction)
    return PageDirection{false, 1};
  return std::nullopt;
}

std::optional<CharacterRange> characterRange(std::string_view utf8,
                                             int64_t location,
                                             int64_t length) {
  if (location < 0 || length < 0)
    return std::nullopt;
  int64_t end = location > INT64_MAX - length ? INT64_MAX : location + length;
  // The start rounds down into a pair it splits, the end rounds up: the
  // characters the units touch. A caret stays a caret.
  int64_t start = characterOffsetFromUtf16(utf8, location, false);
  if (length == 0)
    return CharacterRange{start, start};
  return CharacterRange{start, characterOffsetFromUtf16(utf8, end, true)};
}

}  // namespace cuh::linux_desktop
