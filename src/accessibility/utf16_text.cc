#include "accessibility/utf16_text.h"

namespace cuh {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Decodes the code point starting at `i`; sets `length` to the bytes it
// takes (1 for an invalid lead byte or a broken sequence, so decoding
// resynchronises on the next byte).
char32_t decodeAt(std::string_view s, size_t i, size_t& length) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  length = 1;
  if (lead < 0x80)
    return lead;
  size_t need;
  char32_t value;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;  // continuation byte, C0/C1 or F5..FF
  }
  if (i + need >= s.size())
    return kReplacement;  // truncated at the end
  for (size_t k = 1; k <= need; ++k) {
    unsigned char c = byte(i + k);
    if ((c & 0xC0) != 0x80)
      return kReplacement;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return kReplacement;
  length = need + 1;
  return value;
}

}  // namespace

char32_t decodeUtf8At(std::string_view utf8, size_t offset, size_t& length) {
  return decodeAt(utf8, offset, length);
}

std::vector<DecodedCodePoint> decodeUtf8(std::string_view utf8) {
  std::vector<DecodedCodePoint> result;
  result.reserve(utf8.size());
  int64_t offset = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 1;
    char32_t cp = decodeAt(utf8, i, length);
    result.push_back({cp, offset});
    offset += utf16Units(cp);
    i += length;
  }
  return result;
}

void appendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
    cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u16string toUtf16(std::string_view utf8) {
  std::u16string result;
  result.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 1;
    char32_t cp = decodeAt(utf8, i, length);
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return result;
}

std::string toUtf8(std::u16string_view utf16) {
  std::string result;
  result.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char16_t unit = utf16[i];
    if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
      char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                    (static_cast<char32_t>(utf16[i + 1]) - 0xDC00);
      appendUtf8(result, cp);
      ++i;
    } else {
      appendUtf8(result, unit);  // a lone surrogate becomes U+FFFD
    }
  }
  return result;
}

int64_t utf16Length(std::string_view utf8) {
  int64_t length = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t bytes = 1;
    length += utf16Units(decodeAt(utf8, i, bytes));
    i += bytes;
  }
  return length;
}

bool isCodePointBoundary(std::u16string_view text, size_t offset) {
  if (offset == 0 || offset >= text.size())
    return true;
  return !(isHighSurrogate(text[offset - 1]) && isLowSurrogate(text[offset]));
}

}  // namespace cuh
