// The text arithmetic behind "insert_text" and "select_text": UTF-8 <->
// UTF-16, the canonical-equivalence search with its UTF-16 positions, the
// replacement of a selection, the selection modes, and the page count of
// "page_scroll".
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "accessibility/page_scroll.h"
#include "accessibility/text_editing.h"
#include "accessibility/text_search.h"
#include "accessibility/utf16_text.h"
#include "protocol/helper_failure.h"

namespace cuh {
namespace {

const std::string kThumbsUp = "\xF0\x9F\x91\x8D";     // U+1F44D, two UTF-16 units
const std::string kEAcute = "\xC3\xA9";               // U+00E9
const std::string kCombiningAcute = "\xCC\x81";       // U+0301
const std::string kReplacementChar = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf16Text, RoundTripsAndCountsUnits) {
  struct Case {
    std::string utf8;
    size_t units;
  };
  const Case cases[] = {
      {"", 0},        {"abc", 3},
      {kEAcute, 1},   {"\xE2\x82\xAC", 1},  // U+20AC, three UTF-8 bytes
      {kThumbsUp, 2}, {"a" + kThumbsUp + "b" + kThumbsUp, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::u16string units = toUtf16(c.utf8);
    EXPECT_EQ(units.size(), c.units);
    EXPECT_EQ(utf16Length(c.utf8), static_cast<int64_t>(c.units));
    EXPECT_EQ(toUtf8(units), c.utf8);
  }
  EXPECT_EQ(toUtf16(kThumbsUp), (std::u16string{0xD83D, 0xDC4D}));
}

TEST(Utf16Text, InvalidInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::string expected;
  };
  const Case cases[] = {
      {"a\x80z", "a" + kReplacementChar + "z"},                  // stray continuation
      {"a\xE2\x82", "a" + kReplacementChar + kReplacementChar},  // truncated at the end
      {"\xC0\xAF", kReplacementChar + kReplacementChar},         // overlong
      {"\xED\xA0\x80", std::string(3, ' ')},                     // encoded surrogate
      {"\xF4\x90\x80\x80", std::string(4, ' ')},                 // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8));
    std::string expected = c.expected;
    if (expected.find(' ') != std::string::npos) {  // one U+FFFD per byte
      expected.clear();
      for (size_t i = 0; i < c.utf8.size(); ++i)
        expected += kReplacementChar;
    }
    EXPECT_EQ(toUtf8(toUtf16(c.utf8)), expected);
    EXPECT_EQ(utf16Length(c.utf8), static_cast<int64_t>(toUtf16(c.utf8).size()));
  }
  // Unpaired surrogates on the UTF-16 side.
  EXPECT_EQ(toUtf8(std::u16string{u'a', 0xD83D}), "a" + kReplacementChar);
  EXPECT_EQ(toUtf8(std::u16string{0xDC4D, u'b'}), kReplacementChar + "b");
}

TEST(Utf16Text, CodePointBoundaries) {
  std::u16string text = toUtf16("a" + kThumbsUp + "b");  // a, high, low, b
  EXPECT_TRUE(isCodePointBoundary(text, 0));
  EXPECT_TRUE(isCodePointBoundary(text, 1));
  EXPECT_FALSE(isCodePointBoundary(text, 2));
  EXPECT_TRUE(isCodePointBoundary(text, 3));
  EXPECT_TRUE(isCodePointBoundary(text, 4));
}

struct SearchCase {
  const char* name;
  std::string text;
  std::string needle;
  std::string prefix;
  std::string suffix;
  std::vector<TextOccurrence> expected;
  friend void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }
};

class OccurrenceSearch : public testing::TestWithParam<SearchCase> {};

TEST_P(OccurrenceSearch, FindsAcceptedOccurrences) {
  const SearchCase& c = GetParam();
  EXPECT_EQ(acceptedOccurrences(c.text, c.needle, c.prefix, c.suffix), c.expected);
}

const std::string kDecomposedCafe = "cafe" + kCombiningAcute;  // 5 units

INSTANTIATE_TEST_SUITE_P(
    Cases,
    OccurrenceSearch,
    testing::Values(
        SearchCase{"two", "a-b a-c", "a", "", "", {{0, 1}, {4, 1}}},
        SearchCase{"suffix_picks_second", "a-b a-c", "a", "", "-c", {{4, 1}}},
        SearchCase{"prefix_picks_first", "xa ya", "a", "x", "", {{1, 1}}},
        SearchCase{"prefix_and_suffix_both_needed", "xay xaz", "a", "x", "z", {{5, 1}}},
        SearchCase{"non_overlapping", "aaaa", "aa", "", "", {{0, 2}, {2, 2}}},
        SearchCase{"empty_text", "", "a", "", "", {}},
        SearchCase{"absent", "hello", "z", "", "", {}},
        SearchCase{"case_sensitive", "Hello", "h", "", "", {}},
        SearchCase{"prefix_longer_than_text_before", "ab", "b", "xxa", "", {}},
        SearchCase{"emoji_before_shifts_by_two", kThumbsUp + "x", "x", "", "", {{2, 1}}},
        SearchCase{"emoji_needle", "a" + kThumbsUp, kThumbsUp, "", "", {{1, 2}}},
        SearchCase{"emoji_prefix", kThumbsUp + "x x", "x", kThumbsUp, "", {{2, 1}}},
        SearchCase{"composed_needle_in_decomposed_text",
                   kDecomposedCafe + "!",
                   "caf" + kEAcute,
                   "",
                   "",
                   {{0, 5}}},
        SearchCase{"decomposed_needle_in_composed_text",
                   "un caf" + kEAcute,
                   kDecomposedCafe,
                   "",
                   "",
                   {{3, 4}}},
        SearchCase{"base_letter_not_inside_accented", "caf" + kEAcute, "e", "", "", {}},
        SearchCase{"base_letter_not_inside_decomposed", kDecomposedCafe, "e", "", "", {}},
        SearchCase{"decomposed_prefix", kDecomposedCafe + "x", "x", "caf" + kEAcute, "", {{5, 1}}},
        SearchCase{"crlf_is_one_character", "a\r\nb", "\n", "", "", {}}),
    [](const testing::TestParamInfo<SearchCase>& param) { return std::string(param.param.name); });

TEST(CanonicalText, MapsClusterBoundariesToUtf16Offsets) {
  CanonicalText text("a" + kThumbsUp + kDecomposedCafe);
  ASSERT_EQ(text.clusterCount(), 6u);  // a, thumbs, c, a, f, e+acute
  EXPECT_EQ(text.utf16Offset(1), 1);
  EXPECT_EQ(text.utf16Offset(2), 3);
  EXPECT_EQ(text.utf16Offset(6), 8);
  EXPECT_EQ(text.utf16Length(), 8);
}

TEST(ReplaceSelection, ReplacesAsTypingDoes) {
  struct Case {
    const char* name;
    std::string text;
    std::optional<platform::Range> selection;
    std::string insertion;
    std::string value;
    platform::Range caret;
  };
  const Case cases[] = {
      {"selection_replaced", "Hello world", platform::Range{2, 3}, "X", "HeX world", {3, 0}},
      {"no_selection_appends", "abc", std::nullopt, "d", "abcd", {4, 0}},
      {"caret_beyond_text_clamped", "hello", platform::Range{50, 0}, "!", "hello!", {6, 0}},
      {"length_beyond_text_clamped", "hello", platform::Range{3, 99}, "p", "help", {4, 0}},
      {"negative_location", "abc", platform::Range{-4, 1}, "z", "zbc", {1, 0}},
      {"negative_length", "abc", platform::Range{1, -2}, "z", "azbc", {2, 0}},
      {"empty_field", "", std::nullopt, "hi", "hi", {2, 0}},
      {"after_emoji", kThumbsUp + "b", platform::Range{2, 0}, "a", kThumbsUp + "ab", {3, 0}},
      {"emoji_insertion_moves_caret_by_two",
       "ab",
       platform::Range{1, 0},
       kThumbsUp,
       "a" + kThumbsUp + "b",
       {3, 0}},
      {"caret_inside_surrogate_pair_takes_whole_character",
       "a" + kThumbsUp + "b",
       platform::Range{2, 0},
       "X",
       "aXb",
       {2, 0}},
      {"range_ending_inside_pair_takes_whole_character",
       "a" + kThumbsUp + "b",
       platform::Range{0, 2},
       "X",
       "Xb",
       {1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextReplacement edit = replaceSelection(c.text, c.selection, c.insertion);
    EXPECT_EQ(edit.value, c.value);
    EXPECT_EQ(edit.caret, c.caret);
  }
}

TEST(SelectionForMode, PlacesSelectionOrCaret) {
  const TextOccurrence occurrence{4, 1};
  EXPECT_EQ(selectionForMode(occurrence, "text"), (platform::Range{4, 1}));
  EXPECT_EQ(selectionForMode(occurrence, "cursor_after"), (platform::Range{5, 0}));
  EXPECT_EQ(selectionForMode(occurrence, ""), (platform::Range{4, 0}));
  EXPECT_EQ(selectionForMode(occurrence, "Text"), (platform::Range{4, 0}));
}

TEST(PageScroll, DirectionsMapExactly) {
  EXPECT_EQ(pageScrollAction("up"), "AXScrollUpByPage");
  EXPECT_EQ(pageScrollAction("down"), "AXScrollDownByPage");
  EXPECT_EQ(pageScrollAction("left"), "AXScrollLeftByPage");
  EXPECT_EQ(pageScrollAction("right"), "AXScrollRightByPage");
  EXPECT_EQ(pageScrollAction("Up"), std::nullopt);
  EXPECT_EQ(pageScrollAction(""), std::nullopt);
}

TEST(PageScroll, PageCount) {
  struct Case {
    Json pages;  // null: absent
    int64_t count;
  };
  const Case cases[] = {
      {nullptr, 1}, {0, 1},     {-3, 1},   {1, 1},       {2.1, 3},      {2.5, 3},
      {2, 2},       {"two", 1}, {true, 1}, {1000, 1000}, {999.5, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pages.dump());
    Json params = Json::object();
    if (!c.pages.is_null())
      params["pages"] = c.pages;
    EXPECT_EQ(pageScrollCount(params), c.count);
  }
}

TEST(PageScroll, RefusesCountsBeyondTheBound) {
  for (double pages : {1000.5, 1e6, 1e19, -1e19, std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(pages);
    try {
      pageScrollCount(Json{{"pages", pages}});
      FAIL() << "accepted";
    } catch (const HelperFailure& failure) {
      EXPECT_EQ(
          failure.message(),
          "The macOS computer-use parameter pages is out of range; use a finite number of at most "
          "1000 pages");
    }
  }
}

}  // namespace
}  // namespace cuh
