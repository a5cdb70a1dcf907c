// The text arithmetic of "insert_text" and "select_text", apart from any
// accessibility call: replacing a field's selection as typing does, and the
// selection that "select_text" puts on an occurrence. Positions are UTF-16
// code units.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "accessibility/text_search.h"
#include "platform/geometry.h"

namespace cuh {

struct TextReplacement {
  platform::Range replaced;  // the clamped range of the old text replaced
  std::string value;         // the new text of the field
  platform::Range caret;     // (end of the inserted text, 0)
};

// Replaces `selection` of `text` with `insertion`. No selection means the
// end of the text. The selection is clamped to the text: location
// min(N, location) and not negative, length min(N - location, length) and
// not negative. A UTF-8 string cannot hold half a surrogate pair, so a
// range edge that falls inside one is widened to take the whole character
// rather than leave half of it behind.
TextReplacement replaceSelection(std::string_view text,
                                 std::optional<platform::Range> selection,
                                 std::string_view insertion);

// The selection of "select_text" for `occurrence`: "text" selects it,
// "cursor_after" puts the caret after it, anything else before it.
platform::Range selectionForMode(const TextOccurrence& occurrence, std::string_view mode);

}  // namespace cuh
