#include "platform/linux/text_offsets.h"

namespace cuh::linux_desktop {
namespace {

// The length in bytes of the UTF-8 sequence at `at`, and its UTF-16 width
// (1 or 2); an invalid sequence is one byte wide and one unit long.
struct Step {
  size_t bytes;
  int units;
};

Step stepAt(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xe  ? 3
                  : (lead >> 3) == 0x1e ? 4
                                        : 0;
  if (length == 0 || at + length > text.size())
    return {1, 1};
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80)
      return {1, 1};
  }
  return {length, length == 4 ? 2 : 1};
}

}  // namespace

int64_t utf16Length(std::string_view utf8) {
  int64_t units = 0;
  for (size_t at = 0; at < utf8.size();) {
    Step step = stepAt(utf8, at);
    units += step.units;
    at += step.bytes;
  }
  return units;
}

int64_t characterCount(std::string_view utf8) {
  int64_t characters = 0;
  for (size_t at = 0; at < utf8.size(); ++characters)
    at += stepAt(utf8, at).bytes;
  return characters;
}

int64_t characterOffsetFromUtf16(std::string_view utf8, int64_t utf16Offset, bool roundUp) {
  if (utf16Offset <= 0)
    return 0;
  int64_t units = 0;
  int64_t characters = 0;
  for (size_t at = 0; at < utf8.size();) {
    Step step = stepAt(utf8, at);
    if (units + step.units > utf16Offset)
      return roundUp ? characters + 1 : characters;  // inside a surrogate pair
    units += step.units;
    ++characters;
    at += step.bytes;
    if (units == utf16Offset)
      return characters;
  }
  return characters;
}

int64_t utf16OffsetFromCharacter(std::string_view utf8, int64_t characterOffset) {
  int64_t units = 0;
  int64_t characters = 0;
  for (size_t at = 0; at < utf8.size() && characters < characterOffset; ++characters) {
    Step step = stepAt(utf8, at);
    units += step.units;
    at += step.bytes;
  }
  return units;
}

}  // namespace cuh::linux_desktop
