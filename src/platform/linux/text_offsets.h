// Text positions across the bus boundary: the protocol counts UTF-16 code
// units (as macOS does), the accessibility bus counts characters (Unicode
// code points). Conversions work on the object's UTF-8 text.
#pragma once

#include <cstdint>
#include <string_view>

namespace cuh::linux_desktop {

// The UTF-16 length of UTF-8 text. An invalid byte counts as one unit (it
// reads as U+FFFD).
int64_t utf16Length(std::string_view utf8);
// The number of characters of UTF-8 text (invalid bytes count one each).
int64_t characterCount(std::string_view utf8);

// The character offset of a UTF-16 offset. An offset inside a surrogate pair
// gives the character it belongs to when `roundUp` is false, the next one
// when true. Offsets beyond the text give the character count; negative ones
// give 0.
int64_t characterOffsetFromUtf16(std::string_view utf8, int64_t utf16Offset, bool roundUp);
// The UTF-16 offset of a character offset (clamped to 0 ... the length).
int64_t utf16OffsetFromCharacter(std::string_view utf8, int64_t characterOffset);

}  // namespace cuh::linux_desktop
