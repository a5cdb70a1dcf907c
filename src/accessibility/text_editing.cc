#include "accessibility/text_editing.h"

#include <algorithm>

#include "accessibility/utf16_text.h"

namespace cuh {

TextReplacement replaceSelection(std::string_view text,
                                 std::optional<platform::Range> selection,
                                 std::string_view insertion) {
  std::u16string units = toUtf16(text);
  const int64_t n = static_cast<int64_t>(units.size());
  platform::Range s = selection.value_or(platform::Range{n, 0});
  int64_t location = std::max<int64_t>(0, std::min(n, s.location));
  int64_t length = std::max<int64_t>(0, std::min(n - location, s.length));
  if (!isCodePointBoundary(units, static_cast<size_t>(location))) {
    --location;
    ++length;
  }
  if (!isCodePointBoundary(units, static_cast<size_t>(location + length)))
    ++length;

  std::u16string inserted = toUtf16(insertion);
  std::u16string result;
  result.reserve(units.size() - static_cast<size_t>(length) + inserted.size());
  result.append(units, 0, static_cast<size_t>(location));
  result.append(inserted);
  result.append(units, static_cast<size_t>(location + length));
  return TextReplacement{
      platform::Range{location, length},
      toUtf8(result),
      platform::Range{location + static_cast<int64_t>(inserted.size()), 0},
  };
}

platform::Range selectionForMode(const TextOccurrence& occurrence, std::string_view mode) {
  if (mode == "text")
    return {occurrence.start, occurrence.length};
  if (mode == "cursor_after")
    return {occurrence.start + occurrence.length, 0};
  return {occurrence.start, 0};
}

}  // namespace cuh
