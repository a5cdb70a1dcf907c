#include "platform/linux/text_offsets.h"

#include <gtest/gtest.h>

namespace cuh::linux_desktop {
namespace {

// "a", "é" (2 bytes), "😀" (4 bytes: a surrogate pair), "b".
constexpr std::string_view kText =
    "a\xc3\xa9\xf0\x9f\x98\x80"
    "b";

TEST(TextOffsetsTest, LengthsCountUnitsAndCharacters) {
  EXPECT_EQ(utf16Length(kText), 5);
  EXPECT_EQ(characterCount(kText), 4);
  EXPECT_EQ(utf16Length(""), 0);
  // A stray continuation byte and a truncated sequence count one each.
  EXPECT_EQ(utf16Length("\x80"
                        "a\xf0\x9f"),
            4);
  EXPECT_EQ(characterCount("\x80"
                           "a\xf0\x9f"),
            4);
}

TEST(TextOffsetsTest, ConvertsBothWaysAroundASurrogatePair) {
  struct Case {
    int64_t utf16;
    int64_t down;
    int64_t up;
  };
  const Case cases[] = {
      {-3, 0, 0}, {0, 0, 0}, {1, 1, 1},  {2, 2, 2}, {3, 2, 3},  // inside the pair
      {4, 3, 3},  {5, 4, 4}, {99, 4, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(characterOffsetFromUtf16(kText, c.utf16, false), c.down) << c.utf16;
    EXPECT_EQ(characterOffsetFromUtf16(kText, c.utf16, true), c.up) << c.utf16;
  }
  const int64_t utf16OfCharacter[] = {0, 1, 2, 4, 5, 5};
  for (int64_t character = 0; character < 6; ++character)
    EXPECT_EQ(utf16OffsetFromCharacter(kText, character), utf16OfCharacter[character]) << character;
  EXPECT_EQ(utf16OffsetFromCharacter(kText, -1), 0);
}

}  // namespace
}  // namespace cuh::linux_desktop
