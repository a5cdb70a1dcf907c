// The element operations of "element_action": what each one changes in the
// target, how each refuses, the settle and readback waits, and page
// scrolling with its ancestor chain and partial completion.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "accessibility/element_action_scene.h"
#include "support/counting_accessibility.h"

namespace cuh::testing {
namespace {

const Json kVerified{{"delivery", "verified"}};

struct OperationCase {
  std::string name;
  Json elementChanges;  // merged into the scene's elements by ref
  Json params;
  std::string message;  // "" for success
  std::vector<std::string> changes;
  friend void PrintTo(const OperationCase& c, std::ostream* os) { *os << c.name; }
};

class ElementOperation : public ElementActionFixture,
                         public ::testing::WithParamInterface<OperationCase> {
 public:
  void SetUp() override { load(actionScene(Json::array(), GetParam().elementChanges)); }
};

TEST_P(ElementOperation, ChangesWhatItShould) {
  const OperationCase& c = GetParam();
  if (c.message.empty()) {
    EXPECT_EQ(perform(c.params), kVerified);
  } else {
    EXPECT_EQ(failureOf(c.params), c.message);
  }
  EXPECT_EQ(changes(), c.changes);
}

std::vector<std::string> times(int count, const std::string& change) {
  return std::vector<std::string>(static_cast<size_t>(count), change);
}

Json scroll(const char* direction, Json pages = nullptr) {
  Json extra{{"direction", direction}};
  if (!pages.is_null())
    extra["pages"] = std::move(pages);
  return actionRequest("page_scroll", cellElement(), extra);
}

INSTANTIATE_TEST_SUITE_P(
    Successes,
    ElementOperation,
    ::testing::Values(
        OperationCase{"activate presses a button",
                      {},
                      actionRequest("activate_button", okButton()),
                      "",
                      {"ok AXPress"}},
        OperationCase{"activate selects a tab instead of pressing it",
                      {},
                      actionRequest("activate_button", tabElement()),
                      "",
                      {"tab AXSelected true"}},
        OperationCase{"focus an editable field",
                      {},
                      actionRequest("focus_editable", nameField()),
                      "",
                      {"field AXFocused true"}},
        OperationCase{"named action",
                      {},
                      actionRequest("action", okButton(), Json{{"action", "AXPress"}}),
                      "",
                      {"ok AXPress"}},
        OperationCase{"set value",
                      {},
                      actionRequest("set_value", nameField(), Json{{"value", "world"}}),
                      "",
                      {"field AXValue \"world\""}},
        OperationCase{"set value without value sets empty text",
                      {},
                      actionRequest("set_value", nameField()),
                      "",
                      {"field AXValue \"\""}},
        OperationCase{"set value of another type sets empty text",
                      {},
                      actionRequest("set_value", nameField(), Json{{"value", 5}}),
                      "",
                      {"field AXValue \"\""}},
        OperationCase{"page scroll reaches the scroll area from a cell",
                      {},
                      scroll("down"),
                      "",
                      {"scroll AXScrollDownByPage"}},
        OperationCase{"pages 2.5 scrolls three times",
                      {},
                      scroll("down", 2.5),
                      "",
                      times(3, "scroll AXScrollDownByPage")},
        OperationCase{"pages 0 scrolls once", {}, scroll("up", 0), "", {"scroll AXScrollUpByPage"}},
        OperationCase{"pages -3 scrolls once",
                      {},
                      scroll("up", -3),
                      "",
                      {"scroll AXScrollUpByPage"}},
        OperationCase{"pages as text scrolls once",
                      {},
                      scroll("up", "two"),
                      "",
                      {"scroll AXScrollUpByPage"}},
        OperationCase{"the window element is the last candidate",
                      Json{{"note", {{"actions", {"AXScrollLeftByPage"}}}}},
                      scroll("left"),
                      "",
                      {"note AXScrollLeftByPage"}},
        OperationCase{"the element itself comes first",
                      Json{{"cell", {{"actions", {"AXScrollDownByPage"}}}}},
                      scroll("down"),
                      "",
                      {"cell AXScrollDownByPage"}}),
    RowName{});

INSTANTIATE_TEST_SUITE_P(
    Refusals,
    ElementOperation,
    ::testing::Values(
        OperationCase{"activate without press or settable selection",
                      Json{{"ok", {{"actions", Json::array()}}}},
                      actionRequest("activate_button", okButton()),
                      "The indexed element no longer exposes background activation",
                      {}},
        OperationCase{"activate whose press fails",
                      Json{{"ok", {{"rejects", {"AXPress"}}}}},
                      actionRequest("activate_button", okButton()),
                      "The indexed element activation outcome is ambiguous and cannot be safely "
                      "retried",
                      {"ok AXPress failed"}},
        OperationCase{"activate whose selection fails",
                      Json{{"tab", {{"rejects", {"AXSelected"}}}}},
                      actionRequest("activate_button", tabElement()),
                      "The indexed element activation outcome is ambiguous and cannot be safely "
                      "retried",
                      {"tab AXSelected true failed"}},
        OperationCase{"focus a button",
                      {},
                      actionRequest("focus_editable", okButton()),
                      "The indexed element is no longer editable",
                      {}},
        OperationCase{"focus refused",
                      Json{{"field", {{"rejects", {"AXFocused"}}}}},
                      actionRequest("focus_editable", nameField()),
                      "The indexed editable element rejected background focus",
                      {"field AXFocused true failed"}},
        OperationCase{"action not offered",
                      {},
                      actionRequest("action", okButton(), Json{{"action", "AXShowMenu"}}),
                      "The element does not expose action AXShowMenu",
                      {}},
        OperationCase{"action missing",
                      {},
                      actionRequest("action", okButton()),
                      "Missing macOS computer-use parameter: action",
                      {}},
        OperationCase{"action fails",
                      Json{{"ok", {{"rejects", {"AXPress"}}}}},
                      actionRequest("action", okButton(), Json{{"action", "AXPress"}}),
                      "The accessibility action outcome is ambiguous and cannot be safely retried",
                      {"ok AXPress failed"}},
        OperationCase{"value not settable",
                      {},
                      actionRequest("set_value", okButton(), Json{{"value", "x"}}),
                      "The indexed element does not expose a settable value",
                      {}},
        OperationCase{"value rejected",
                      Json{{"field", {{"rejects", {"AXValue"}}}}},
                      actionRequest("set_value", nameField(), Json{{"value", "x"}}),
                      "The indexed element rejected its new value",
                      {"field AXValue \"x\" failed"}},
        OperationCase{"value readback stale",
                      Json{{"field", {{"readback", "stale"}}}},
                      actionRequest("set_value", nameField(), Json{{"value", "x"}}),
                      "The indexed element accepted its new value but readback disagreed; the "
                      "outcome is ambiguous and cannot be safely retried",
                      {"field AXValue \"x\""}},
        OperationCase{"direction with capital",
                      {},
                      scroll("Up"),
                      "Invalid macOS scroll direction",
                      {}},
        OperationCase{"direction missing",
                      {},
                      actionRequest("page_scroll", cellElement()),
                      "Missing macOS computer-use parameter: direction",
                      {}},
        OperationCase{"no element offers the direction",
                      {},
                      scroll("right"),
                      "The indexed element does not expose the requested directional page scroll",
                      {}},
        OperationCase{"first page rejected",
                      Json{{"scroll", {{"failAfter", {{"AXScrollDownByPage", 0}}}}}},
                      scroll("down", 3),
                      "The indexed element rejected the requested directional page scroll",
                      {"scroll AXScrollDownByPage failed"}},
        OperationCase{"third page rejected",
                      Json{{"scroll", {{"failAfter", {{"AXScrollDownByPage", 2}}}}}},
                      scroll("down", 5),
                      "The directional page scroll partially completed and cannot be safely "
                      "retried",
                      {"scroll AXScrollDownByPage", "scroll AXScrollDownByPage",
                       "scroll AXScrollDownByPage failed"}},
        OperationCase{"pages beyond the bound",
                      {},
                      scroll("down", 1e9),
                      "The macOS computer-use parameter pages is out of range; use a finite "
                      "number of at most 1000 pages",
                      {}}),
    RowName{});

// A desktop that cannot press into a menu or give focus in the background:
// those operations are refused before anything reaches the target, with
// the refusal's own message; the rest goes on as everywhere.
TEST_F(ElementActionFixture, ChangesTheDesktopRefusesAreNeverSent) {
  CountingPlatform refusing(*desktop);
  refusing.counter().refuse("AXPress", platform::BackgroundRefusal::opensMenu);
  refusing.counter().refuse("AXFocused", platform::BackgroundRefusal::focusActivatesWindow);
  auto failure = [&](const Json& params) -> std::string {
    try {
      performElementAction(refusing, *guard, params);
    } catch (const HelperFailure& error) {
      guard->restoreAfterRequest();
      return error.message();
    }
    guard->restoreAfterRequest();
    return "";
  };
  const std::string menu =
      "The indexed element would open a menu, which cannot be done in the background on this "
      "desktop; select or press one of its items instead; no accessibility action was sent";
  EXPECT_EQ(failure(actionRequest("activate_button", okButton())), menu);
  EXPECT_EQ(failure(actionRequest("action", okButton(), Json{{"action", "AXPress"}})), menu);
  EXPECT_EQ(failure(actionRequest("focus_editable", nameField())),
            "The indexed element can only be focused by activating its window, which cannot be "
            "done in the background on this desktop; no accessibility action was sent");
  EXPECT_EQ(changes(), std::vector<std::string>{});
  // A tab is chosen by selecting it, which is never refused.
  EXPECT_EQ(failure(actionRequest("activate_button", tabElement())), "");
  EXPECT_EQ(changes(), std::vector<std::string>{"tab AXSelected true"});
}

TEST_F(ElementActionFixture, TheDesktopReflectsEachChange) {
  perform(actionRequest("activate_button", tabElement()));
  EXPECT_EQ(attribute("tab", "AXSelected"), true);
  perform(actionRequest("set_value", nameField(), Json{{"value", "world"}}));
  EXPECT_EQ(attribute("field", "AXValue"), "world");
  perform(actionRequest("focus_editable",
                        Json{{"path", {2}}, {"role", "AXTextField"}, {"identifier", "name"}}));
  EXPECT_EQ(attribute("field", "AXFocused"), true);
}

// The settle wait is a nested run of the main loop: work due meanwhile runs
// before the answer. "set_value" confirms by readback and does not wait.
TEST_F(ElementActionFixture, SettleRunsTheMainLoopForFortyMilliseconds) {
  struct Case {
    Json params;
    double elapsed;
  };
  const Case cases[] = {
      {actionRequest("activate_button", okButton()), 0.04},
      {actionRequest("focus_editable", nameField()), 0.04},
      {actionRequest("action", okButton(), Json{{"action", "AXPress"}}), 0.04},
      {actionRequest("set_value", nameField(), Json{{"value", "hello"}}), 0.0},
      {actionRequest("page_scroll", cellElement(), Json{{"direction", "down"}}), 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params.dump());
    bool ran = false;
    desktop->mainLoop().postDelayed(0.039, [&ran] { ran = true; });
    double start = desktop->clock().uptime();
    EXPECT_EQ(perform(c.params), kVerified);
    EXPECT_NEAR(desktop->clock().uptime() - start, c.elapsed, 1e-9);
    EXPECT_EQ(ran, c.elapsed > 0);
    desktop->loop().runUntilIdle();
  }
}

TEST_F(ElementActionFixture, ReadbackPollsUntilTheValueArrives) {
  load(actionScene(Json::array(), Json{{"field", {{"readback", "stale"}}}}));
  // The field reports the new value only 0.07 s later: the third wait.
  desktop->mainLoop().postDelayed(0.07, [this] {
    apply(R"({"set": {"ref": "field", "attribute": "AXValue", "value": "later"}})");
  });
  double start = desktop->clock().uptime();
  EXPECT_EQ(perform(actionRequest("set_value", nameField(), Json{{"value", "later"}})), kVerified);
  EXPECT_NEAR(desktop->clock().uptime() - start, 0.09, 1e-9);
}

TEST_F(ElementActionFixture, ReadbackGivesUpAfterTenReads) {
  load(actionScene(Json::array(), Json{{"field", {{"readback", "stale"}}}}));
  double start = desktop->clock().uptime();
  EXPECT_NE(failureOf(actionRequest("set_value", nameField(), Json{{"value", "x"}})), "");
  EXPECT_NEAR(desktop->clock().uptime() - start, 10 * 0.03, 1e-9);
}

TEST_F(ElementActionFixture, ReadbackAcceptsCanonicallyEquivalentText) {
  // The field stores the decomposed form of what was set.
  load(actionScene(Json::array({Json{
      {"when", {{"afterSet", {{"ref", "field"}, {"attribute", "AXValue"}}}}},
      {"do",
       {{{"set", {{"ref", "field"}, {"attribute", "AXValue"}, {"value", "cafe\xCC\x81"}}}}}}}})));
  EXPECT_EQ(perform(actionRequest("set_value", nameField(), Json{{"value", "caf\xC3\xA9"}})),
            kVerified);
}

}  // namespace
}  // namespace cuh::testing
