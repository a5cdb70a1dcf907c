// "insert_text" and "select_text" on the simulated desktop: the text target
// found by hit test or as the window's one focused field, the replacement
// of the selection and the caret in UTF-16 units, the occurrence search
// with prefix, suffix and modes, and both readbacks.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "accessibility/element_action_scene.h"

namespace cuh::testing {
namespace {

const std::string kThumbsUp = "\xF0\x9F\x91\x8D";  // two UTF-16 units

const std::string kNoEditable =
    "The clicked point does not resolve to an editable macOS element, and the exact target window "
    "has no unique focused editable element";

// Points relative to the window (100, 120): on the name field, on the OK
// button, on a group nested in the text area, on the bare window.
const double kOnField[] = {20, 60};
const double kOnButton[] = {20, 20};
const double kOnAreaLine[] = {20, 255};
const double kOnWindow[] = {390, 290};

struct InsertCase {
  std::string name;
  Json elementChanges;
  double x;
  double y;
  std::string text;
  std::string target;  // ref of the field written; "" when refused
  std::string value;   // the new value, or the failure message
  Json caret;          // the caret set after the text
  friend void PrintTo(const InsertCase& c, std::ostream* os) { *os << c.name; }
};

class InsertText : public ElementActionFixture, public ::testing::WithParamInterface<InsertCase> {
 public:
  void SetUp() override { load(actionScene(Json::array(), GetParam().elementChanges)); }
};

Json insertRequest(double x, double y, const std::string& text) {
  return actionRequest("insert_text", nullptr, Json{{"x", x}, {"y", y}, {"text", text}});
}

TEST_P(InsertText, ReplacesTheSelectionOfTheTarget) {
  const InsertCase& c = GetParam();
  if (c.target.empty()) {
    EXPECT_EQ(failureOf(insertRequest(c.x, c.y, c.text)), c.value);
    EXPECT_TRUE(changes().empty());
    return;
  }
  EXPECT_EQ(perform(insertRequest(c.x, c.y, c.text)),
            (Json{{"delivery", "verified"}, {"value", c.value}}));
  EXPECT_EQ(attribute(c.target, "AXValue"), c.value);
  EXPECT_EQ(attribute(c.target, "AXSelectedTextRange"), c.caret);
}

Json fieldWith(Json value, Json selection) {
  return Json{
      {"field", {{"value", std::move(value)}, {"selectedTextRange", std::move(selection)}}}};
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    InsertText,
    ::testing::Values(InsertCase{"appends at the caret",
                                 {},
                                 kOnField[0],
                                 kOnField[1],
                                 "!",
                                 "field",
                                 "hello!",
                                 {6, 0}},
                      InsertCase{"replaces the selection",
                                 fieldWith("Hello world", {2, 3}),
                                 kOnField[0],
                                 kOnField[1],
                                 "X",
                                 "field",
                                 "HeX world",
                                 {3, 0}},
                      InsertCase{"appends without a readable selection",
                                 fieldWith("abc", nullptr),
                                 kOnField[0],
                                 kOnField[1],
                                 "d",
                                 "field",
                                 "abcd",
                                 {4, 0}},
                      InsertCase{"clamps a caret beyond the text",
                                 fieldWith("hello", {50, 0}),
                                 kOnField[0],
                                 kOnField[1],
                                 "?",
                                 "field",
                                 "hello?",
                                 {6, 0}},
                      InsertCase{"counts an emoji before the caret as two",
                                 fieldWith(kThumbsUp + "b", {2, 0}),
                                 kOnField[0],
                                 kOnField[1],
                                 "a",
                                 "field",
                                 kThumbsUp + "ab",
                                 {3, 0}},
                      InsertCase{"moves the caret past an inserted emoji",
                                 fieldWith("ab", {1, 0}),
                                 kOnField[0],
                                 kOnField[1],
                                 kThumbsUp,
                                 "field",
                                 "a" + kThumbsUp + "b",
                                 {3, 0}},
                      InsertCase{"an element nested in a text area writes the area",
                                 {},
                                 kOnAreaLine[0],
                                 kOnAreaLine[1],
                                 "Z",
                                 "area",
                                 "Za-b a-c",
                                 {1, 0}},
                      InsertCase{"a button falls back to the one focused field",
                                 Json{{"field", {{"focused", true}}}},
                                 kOnButton[0],
                                 kOnButton[1],
                                 "!",
                                 "field",
                                 "hello!",
                                 {6, 0}},
                      InsertCase{"the bare window falls back to the one focused field",
                                 Json{{"area", {{"focused", true}}}},
                                 kOnWindow[0],
                                 kOnWindow[1],
                                 "Z",
                                 "area",
                                 "Za-b a-c",
                                 {1, 0}},
                      InsertCase{"a focused field still loses to the field under the point",
                                 Json{{"area", {{"focused", true}}}},
                                 kOnField[0],
                                 kOnField[1],
                                 "!",
                                 "field",
                                 "hello!",
                                 {6, 0}},
                      InsertCase{"no focused field",
                                 {},
                                 kOnButton[0],
                                 kOnButton[1],
                                 "!",
                                 "",
                                 kNoEditable,
                                 nullptr},
                      InsertCase{
                          "two focused fields",
                          Json{{"field", {{"focused", true}}}, {"area", {{"focused", true}}}},
                          kOnButton[0], kOnButton[1], "!", "", kNoEditable, nullptr},
                      InsertCase{"a focused element that is not editable does not count",
                                 Json{{"ok", {{"focused", true}}}}, kOnButton[0], kOnButton[1], "!",
                                 "", kNoEditable, nullptr},
                      InsertCase{"right edge is outside",
                                 {},
                                 400,
                                 10,
                                 "!",
                                 "",
                                 "The macOS text target is outside the observed window",
                                 nullptr},
                      InsertCase{"above the window is outside",
                                 {},
                                 10,
                                 -0.5,
                                 "!",
                                 "",
                                 "The macOS text target is outside the observed window",
                                 nullptr}),
    RowName{});

TEST_F(ElementActionFixture, InsertTextReadsItsParametersAfterTheGuard) {
  struct Case {
    Json extra;
    std::string message;
  };
  const Case cases[] = {
      {Json{{"y", 60}, {"text", "!"}}, "Missing macOS computer-use parameter: x"},
      {Json{{"x", 20}, {"text", "!"}}, "Missing macOS computer-use parameter: y"},
      {Json{{"x", 20}, {"y", 60}, {"text", ""}}, "Missing macOS computer-use parameter: text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(failureOf(actionRequest("insert_text", nullptr, c.extra)), c.message);
  }
  EXPECT_FALSE(desktop->traceLines("tapCreated").empty());
  EXPECT_TRUE(changes().empty());
}

TEST_F(ElementActionFixture, InsertTextIgnoresAFieldOfAnOverlappingWindow) {
  Json scene = actionScene(Json::array(), Json{{"field", {{"focused", true}}}});
  // A panel of the same app in front of the note, over the name field.
  scene["windows"].insert(scene["windows"].begin() + 1, Json::parse(R"({
    "id": 24, "pid": 200, "title": "Panel",
    "bounds": {"x": 100, "y": 160, "width": 150, "height": 50},
    "ax": {"ref": "panel", "children": [
      {"ref": "panel-field", "role": "AXTextField", "value": "", "settable": ["AXValue"],
       "frame": {"x": 100, "y": 160, "width": 150, "height": 50}}]}})"));
  load(scene);
  EXPECT_EQ(perform(insertRequest(kOnField[0], kOnField[1], "!"))["value"], "hello!");
  EXPECT_EQ(attribute("panel-field", "AXValue"), "");
}

TEST_F(ElementActionFixture, InsertTextRefusalsAndReadback) {
  struct Case {
    Json elementChanges;
    std::string message;
    std::vector<std::string> changes;
  };
  const Case cases[] = {
      {Json{{"field", {{"rejects", {"AXValue"}}}}},
       "The target macOS field rejected background text insertion",
       {"field AXValue \"hello!\" failed"}},
      {Json{{"field", {{"readback", "stale"}}}},
       "The target macOS field accepted text insertion but readback disagreed; the outcome is "
       "ambiguous and cannot be safely retried",
       {"field AXValue \"hello!\"", "field AXSelectedTextRange [6,0]"}},
      // A field that refuses the caret still took the text.
      {Json{{"field", {{"rejects", {"AXSelectedTextRange"}}}}},
       "",
       {"field AXValue \"hello!\"", "field AXSelectedTextRange [6,0] failed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elementChanges.dump());
    load(actionScene(Json::array(), c.elementChanges));
    EXPECT_EQ(failureOf(insertRequest(kOnField[0], kOnField[1], "!")), c.message);
    EXPECT_EQ(changes(), c.changes);
  }
}

struct SelectCase {
  std::string name;
  std::string value;  // of the text area
  Json params;        // "text", "prefix", "suffix", "mode"
  std::optional<std::vector<int64_t>> selection;
  std::string message;  // when refused
  friend void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.name; }
};

class SelectText : public ElementActionFixture, public ::testing::WithParamInterface<SelectCase> {
 public:
  void SetUp() override {
    load(actionScene(Json::array(), Json{{"area", {{"value", GetParam().value}}}}));
  }
};

TEST_P(SelectText, SelectsTheOneOccurrence) {
  const SelectCase& c = GetParam();
  Json element = bodyArea();
  element["value"] = c.value;
  Json params = actionRequest("select_text", element, c.params);
  if (!c.selection) {
    EXPECT_EQ(failureOf(params), c.message);
    EXPECT_TRUE(changes().empty());
    return;
  }
  EXPECT_EQ(perform(params), (Json{{"delivery", "verified"}}));
  EXPECT_EQ(attribute("area", "AXSelectedTextRange"), Json(*c.selection));
}

const std::string kAmbiguous = "Text is ambiguous; provide prefix or suffix";
const std::string kNotFound = "Text was not found in the indexed element";

INSTANTIATE_TEST_SUITE_P(
    Cases,
    SelectText,
    ::testing::Values(
        SelectCase{"two occurrences are ambiguous", "a-b a-c", Json{{"text", "a"}}, std::nullopt,
                   kAmbiguous},
        SelectCase{"suffix selects the second as text", "a-b a-c",
                   Json{{"text", "a"}, {"suffix", "-c"}, {"mode", "text"}},
                   std::vector<int64_t>{4, 1}, ""},
        SelectCase{"cursor after", "a-b a-c",
                   Json{{"text", "a"}, {"suffix", "-c"}, {"mode", "cursor_after"}},
                   std::vector<int64_t>{5, 0}, ""},
        SelectCase{"no mode puts the caret before", "a-b a-c",
                   Json{{"text", "a"}, {"suffix", "-c"}}, std::vector<int64_t>{4, 0}, ""},
        SelectCase{"unknown mode puts the caret before", "a-b a-c",
                   Json{{"text", "a"}, {"suffix", "-c"}, {"mode", "select"}},
                   std::vector<int64_t>{4, 0}, ""},
        SelectCase{"prefix selects", "a-b a-c", Json{{"text", "b"}, {"prefix", "a-"}},
                   std::vector<int64_t>{2, 0}, ""},
        SelectCase{"occurrences do not overlap", "aaaa", Json{{"text", "aa"}}, std::nullopt,
                   kAmbiguous},
        SelectCase{"overlap would have made a third", "aaa", Json{{"text", "aa"}, {"mode", "text"}},
                   std::vector<int64_t>{0, 2}, ""},
        SelectCase{"empty field", "", Json{{"text", "a"}}, std::nullopt, kNotFound},
        SelectCase{"absent", "a-b a-c", Json{{"text", "z"}}, std::nullopt, kNotFound},
        SelectCase{"prefix that never holds", "a-b a-c", Json{{"text", "a"}, {"prefix", "q"}},
                   std::nullopt, kNotFound},
        SelectCase{"emoji before shifts by two", kThumbsUp + " x",
                   Json{{"text", "x"}, {"mode", "text"}}, std::vector<int64_t>{3, 1}, ""},
        SelectCase{"decomposed text matches composed search", "cafe\xCC\x81 ok",
                   Json{{"text", "caf\xC3\xA9"}, {"mode", "text"}}, std::vector<int64_t>{0, 5}, ""},
        SelectCase{"missing text", "a-b a-c", Json{{"prefix", "a"}}, std::nullopt,
                   "Missing macOS computer-use parameter: text"}),
    RowName{});

TEST_F(ElementActionFixture, SelectTextRefusalsAndReadback) {
  struct Case {
    Json elementChanges;
    std::string message;
  };
  const Case cases[] = {
      {Json{{"area", {{"rejects", {"AXSelectedTextRange"}}}}},
       "The indexed element rejected text selection"},
      {Json{{"area", {{"readback", "stale"}}}},
       "The indexed element accepted text selection but readback disagreed; the outcome is "
       "ambiguous and cannot be safely retried"},
      {Json{{"area", {{"readback", "stale"}, {"selectedTextRange", nullptr}}}},
       "The indexed element accepted text selection but did not expose readback; the outcome is "
       "ambiguous and cannot be safely retried"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    load(actionScene(Json::array(), c.elementChanges));
    EXPECT_EQ(
        failureOf(actionRequest("select_text", bodyArea(), Json{{"text", "b"}, {"mode", "text"}})),
        c.message);
  }
}

}  // namespace
}  // namespace cuh::testing
