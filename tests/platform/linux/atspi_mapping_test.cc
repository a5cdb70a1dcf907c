#include "platform/linux/atspi_mapping.h"

#include <gtest/gtest.h>

namespace cuh::linux_desktop {
namespace {

uint64_t bits(std::initializer_list<BusState> states) {
  uint64_t set = 0;
  for (BusState state : states)
    set |= uint64_t{1} << static_cast<uint32_t>(state);
  return set;
}

uint32_t r(BusRole role) {
  return static_cast<uint32_t>(role);
}

struct RoleCase {
  const char* what;
  uint32_t role;
  RoleContext context;
  MappedRole expected;
};

TEST(AtspiMappingTest, RolesFollowTheTableAndTheirContext) {
  const RoleCase cases[] = {
      {"application", r(BusRole::application), {}, {"AXApplication", ""}},
      {"frame", r(BusRole::frame), {}, {"AXWindow", "AXStandardWindow"}},
      {"dialog", r(BusRole::dialog), {}, {"AXWindow", "AXDialog"}},
      {"file chooser", r(BusRole::fileChooser), {}, {"AXWindow", "AXDialog"}},
      {"toggle button", r(BusRole::toggleButton), {}, {"AXCheckBox", "AXToggle"}},
      {"page tab", r(BusRole::pageTab), {}, {"AXRadioButton", "AXTabButton"}},
      {"password", r(BusRole::passwordText), {}, {"AXTextField", "AXSecureTextField"}},
      {"single-line text",
       r(BusRole::text),
       {bits({BusState::singleLine}), std::nullopt, false},
       {"AXTextField", ""}},
      {"multi-line text",
       r(BusRole::text),
       {bits({BusState::multiLine}), std::nullopt, false},
       {"AXTextArea", ""}},
      {"entry", r(BusRole::entry), {}, {"AXTextField", ""}},
      {"combo box", r(BusRole::comboBox), {}, {"AXPopUpButton", ""}},
      {"combo box with entry", r(BusRole::comboBox), {0, std::nullopt, true}, {"AXComboBox", ""}},
      {"menu in a menu bar",
       r(BusRole::menu),
       {0, r(BusRole::menuBar), false},
       {"AXMenuBarItem", ""}},
      {"submenu", r(BusRole::menu), {0, r(BusRole::menu), false}, {"AXMenu", ""}},
      {"check menu item in a menu",
       r(BusRole::checkMenuItem),
       {0, r(BusRole::menu), false},
       {"AXMenuItem", ""}},
      {"check menu item in a list",
       r(BusRole::checkMenuItem),
       {0, r(BusRole::list), false},
       {"AXCheckBox", ""}},
      {"tree table", r(BusRole::treeTable), {}, {"AXOutline", ""}},
      {"table cell", r(BusRole::tableCell), {}, {"AXCell", ""}},
      {"level bar", r(BusRole::levelBar), {}, {"AXProgressIndicator", ""}},
      {"filler", r(BusRole::filler), {}, {"AXGroup", ""}},
      {"separator", r(BusRole::separator), {}, {"AXSplitter", ""}},
      {"terminal (not in the table)", 60, {}, {"AXUnknown", ""}},
      {"a role number from the future", 4000, {}, {"AXUnknown", ""}},
  };
  for (const RoleCase& c : cases)
    EXPECT_EQ(mapRole(c.role, c.context), c.expected) << c.what;
}

TEST(AtspiMappingTest, StatesGiveEnabledAndCheckValues) {
  EXPECT_TRUE(elementEnabled(bits({BusState::enabled})));
  EXPECT_TRUE(elementEnabled(bits({BusState::sensitive})));  // GTK 4
  EXPECT_FALSE(elementEnabled(bits({BusState::focusable, BusState::showing})));
  EXPECT_EQ(checkValue(bits({BusState::checked})), 1);
  EXPECT_EQ(checkValue(bits({})), 0);
  EXPECT_EQ(checkValue(bits({BusState::checked, BusState::indeterminate})), 2);
  // Bit 32 lives in the second word of the bus's state set.
  EXPECT_TRUE(hasState(uint64_t{1} << 32, BusState::indeterminate));
}

struct ActionCase {
  const char* what;
  std::vector<std::string> bus;
  uint32_t role;
  uint64_t states;
  std::vector<MappedAction> expected;
};

TEST(AtspiMappingTest, ActionsMapToTheProtocolNames) {
  const ActionCase cases[] = {
      {"GTK click", {"click"}, r(BusRole::pushButton), 0, {{"AXPress", 0}}},
      {"Qt Press, any case, first of several press-like",
       {"Press", "SetFocus", "Toggle"},
       r(BusRole::checkBox),
       0,
       {{"AXPress", 0}, {"SetFocus", 1}}},
      {"expand while collapsed",
       {"expand or contract"},
       r(BusRole::treeItem),
       0,
       {{"AXExpand", 0}}},
      {"collapse while expanded",
       {"expand or contract"},
       r(BusRole::treeItem),
       bits({BusState::expanded}),
       {{"AXCollapse", 0}}},
      {"slider without actions gets value steps",
       {},
       r(BusRole::slider),
       0,
       {{"AXIncrement", -1}, {"AXDecrement", -1}}},
      {"spin button with its own increase",
       {"increase", "decrease"},
       r(BusRole::spinButton),
       0,
       {{"AXIncrement", 0}, {"AXDecrement", 1}}},
      {"progress bar is not settable", {}, r(BusRole::progressBar), 0, {}},
      {"toolkit names stay",
       {"activate", "customize"},
       r(BusRole::menuItem),
       0,
       {{"AXPress", 0}, {"customize", 1}}},
  };
  for (const ActionCase& c : cases)
    EXPECT_EQ(mapActions(c.bus, c.role, c.states), c.expected) << c.what;
}

TEST(AtspiMappingTest, OnlyMenuOpeningActionsAreRefused) {
  EXPECT_TRUE(actionOpensMenu("press", r(BusRole::comboBox), std::nullopt));
  EXPECT_TRUE(actionOpensMenu("click", r(BusRole::menu), r(BusRole::menuBar)));
  EXPECT_TRUE(actionOpensMenu("show-menu", r(BusRole::pushButton), std::nullopt));
  EXPECT_FALSE(actionOpensMenu("click", r(BusRole::menuItem), r(BusRole::menu)));
  EXPECT_FALSE(actionOpensMenu("click", r(BusRole::menu), r(BusRole::menu)));  // a submenu item
  EXPECT_FALSE(actionOpensMenu("click", r(BusRole::pushButton), std::nullopt));
}

}  // namespace
}  // namespace cuh::linux_desktop
