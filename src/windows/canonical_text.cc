#include "windows/canonical_text.h"

#include <utf8proc.h>

#include <cstdlib>

namespace cuh {

namespace {

bool isAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80)
      return false;
  }
  return true;
}

}  // namespace

std::string canonicalForm(std::string_view text) {
  if (isAscii(text))
    return std::string(text);  // ASCII is its own NFC
  utf8proc_uint8_t* normalized = nullptr;
  utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &normalized,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0)
    return std::string(text);
  std::string result(reinterpret_cast<const char*>(normalized), static_cast<size_t>(length));
  std::free(normalized);
  return result;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  if (isAscii(a) && isAscii(b))
    return false;
  return canonicalForm(a) == canonicalForm(b);
}

}  // namespace cuh
