// String equality under Unicode canonical equivalence, as the platform's
// string comparison decides it: both sides are brought to NFC (utf8proc)
// before comparing bytes. No case folding, no trimming.
#pragma once

#include <string>
#include <string_view>

namespace cuh {

// NFC of a UTF-8 string; invalid input is returned unchanged.
std::string canonicalForm(std::string_view text);

// True when `a` and `b` are canonically equivalent.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace cuh
