// UTF-8 <-> UTF-16 conversion for the text operations. Accessibility text
// ranges (AXSelectedTextRange) count UTF-16 code units, while the helper
// carries text as UTF-8; these functions translate between the two. Invalid
// input never fails: an invalid UTF-8 sequence or an unpaired surrogate
// becomes U+FFFD, so the result is always valid in the other encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cuh {

// One code point of a UTF-8 string with the UTF-16 offset at which it starts.
struct DecodedCodePoint {
  char32_t codePoint = 0;  // U+FFFD for an invalid sequence
  int64_t utf16Offset = 0;
};

// The code points of `utf8` in order. Every byte that does not start a valid
// sequence (a stray continuation byte, a truncated sequence, an overlong
// form, an encoded surrogate or a value beyond U+10FFFF) decodes as one
// U+FFFD, and decoding goes on with the next byte.
std::vector<DecodedCodePoint> decodeUtf8(std::string_view utf8);

// Decodes the one code point that starts at byte `offset` of `utf8` (which
// must be below its size) the way decodeUtf8 does, and sets `length` to the
// bytes it takes.
char32_t decodeUtf8At(std::string_view utf8, size_t offset, size_t& length);

// UTF-16 code units of one code point: 2 outside the Basic Multilingual
// Plane, 1 otherwise.
inline int utf16Units(char32_t codePoint) {
  return codePoint > 0xFFFF ? 2 : 1;
}

// Appends the UTF-8 encoding of `codePoint` (U+FFFD for a surrogate or a
// value beyond U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// The length of `utf8` in UTF-16 code units (toUtf16(utf8).size(), without
// building the string).
int64_t utf16Length(std::string_view utf8);

// Whether `offset` (0 to size) falls between code points rather than between
// the two halves of a surrogate pair.
bool isCodePointBoundary(std::u16string_view text, size_t offset);

}  // namespace cuh
