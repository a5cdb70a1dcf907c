#include "platform/linux/bus_changes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace cuh::linux_desktop {
namespace {

TEST(BusChangesTest, NumbersComeOnlyFromWholeFiniteNumberTexts) {
  struct Case {
    std::string_view text;
    std::optional<double> number;
  };
  const Case cases[] = {
      {"42", 42},
      {" 42 ", 42},
      {"+7.5", 7.5},
      {"-0.25", -0.25},
      {"1e3", 1000},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"42px", std::nullopt},
      {"4 2", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
      {"1e999", std::nullopt},
      {"0x10", std::nullopt},
      {"++1", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(numberFromText(c.text), c.number) << '"' << c.text << '"';
}

TEST(BusChangesTest, StepsAndPagesStayWithinTheRange) {
  const ValueRange slider{0, 100, 5};
  EXPECT_EQ(steppedValue(50, slider, 1), 55);
  EXPECT_EQ(steppedValue(50, slider, -1), 45);
  EXPECT_EQ(steppedValue(98, slider, 1), 100);
  EXPECT_EQ(steppedValue(2, slider, -1), 0);
  // No increment reported: a hundredth of the range; no range either: 1.
  EXPECT_EQ(steppedValue(10, ValueRange{0, 200, 0}, 1), 12);
  EXPECT_EQ(steppedValue(10, ValueRange{0, 200, std::nan("")}, -1), 8);
  EXPECT_EQ(steppedValue(3, ValueRange{3, 3, 0}, 1), 3);
  // Swapped ends do not invent a clamp.
  EXPECT_EQ(steppedValue(10, ValueRange{50, 0, 1}, 1), 11);

  const ValueRange scroll{0, 900, 1};
  EXPECT_EQ(pagedValue(0, scroll, 300, 1), 300);
  EXPECT_EQ(pagedValue(800, scroll, 300, 1), 900);
  EXPECT_EQ(pagedValue(100, scroll, 300, -1), 0);
}

TEST(BusChangesTest, PageScrollActionsFollowTheScrollBars) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(pageScrollActions(true, false), (V{"AXScrollUpByPage", "AXScrollDownByPage"}));
  EXPECT_EQ(pageScrollActions(false, true), (V{"AXScrollLeftByPage", "AXScrollRightByPage"}));
  EXPECT_EQ(pageScrollActions(true, true).size(), 4u);
  EXPECT_TRUE(pageScrollActions(false, false).empty());
  for (std::string_view action : pageScrollActions(true, true)) {
    auto direction = pageDirectionOf(action);
    ASSERT_TRUE(direction) << action;
    EXPECT_EQ(direction->vertical, action == "AXScrollUpByPage" || action == "AXScrollDownByPage");
    EXPECT_EQ(direction->direction,
              action == "AXScrollDownByPage" || action == "AXScrollRightByPage" ? 1 : -1);
  }
  EXPECT_FALSE(pageDirectionOf("AXPress"));
  EXPECT_FALSE(pageDirectionOf("axscrolldownbypage"));
}

TEST(BusChangesTest, Utf16RangesBecomeTheCharactersTheyTouch) {
  // "a", "😀" (a surrogate pair), "b", "é".
  constexpr std::string_view text =
      "a\xf0\x9f\x98\x80"
      "b\xc3\xa9";
  struct Case {
    int64_t location;
    int64_t length;
    std::optional<CharacterRange> characters;
  };
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const Case cases[] = {
      {0, 0, CharacterRange{0, 0}},  {0, 1, CharacterRange{0, 1}},
      {1, 2, CharacterRange{1, 2}},  // the pair, whole
      {2, 0, CharacterRange{1, 1}},  // a caret inside the pair stands before it
      {1, 1, CharacterRange{1, 2}},  // half the pair selects all of it
      {3, 2, CharacterRange{2, 4}},  {5, 0, CharacterRange{4, 4}},
      {4, 50, CharacterRange{3, 4}},  // beyond the end: clamped
      {99, 0, CharacterRange{4, 4}}, {2, kMax, CharacterRange{1, 4}},
      {-1, 0, std::nullopt},         {0, -2, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(characterRange(text, c.location, c.length), c.characters)
        << c.location << "," << c.length;
}

}  // namespace
}  // namespace cuh::linux_desktop
