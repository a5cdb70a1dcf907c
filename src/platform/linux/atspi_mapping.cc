#include "platform/linux/atspi_mapping.h"

#include <algorithm>
#include <cctype>

namespace cuh::linux_desktop {
namespace {

bool is(uint32_t role, BusRole expected) {
  return role == static_cast<uint32_t>(expected);
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

struct RoleRow {
  BusRole busRole;
  const char* role;
  const char* subrole;
};

// The fixed part of the table; the context-dependent roles are decided in
// mapRole.
constexpr RoleRow kRoles[] = {
    {BusRole::application, "AXApplication", ""},
    {BusRole::frame, "AXWindow", "AXStandardWindow"},
    {BusRole::window, "AXWindow", "AXStandardWindow"},
    {BusRole::dialog, "AXWindow", "AXDialog"},
    {BusRole::alert, "AXWindow", "AXDialog"},
    {BusRole::fileChooser, "AXWindow", "AXDialog"},
    {BusRole::pushButton, "AXButton", ""},
    {BusRole::tableColumnHeader, "AXButton", ""},
    {BusRole::toggleButton, "AXCheckBox", "AXToggle"},
    {BusRole::checkBox, "AXCheckBox", ""},
    {BusRole::radioButton, "AXRadioButton", ""},
    {BusRole::pageTab, "AXRadioButton", "AXTabButton"},
    {BusRole::pageTabList, "AXTabGroup", ""},
    {BusRole::passwordText, "AXTextField", "AXSecureTextField"},
    {BusRole::entry, "AXTextField", ""},
    {BusRole::documentText, "AXTextArea", ""},
    {BusRole::spinButton, "AXIncrementor", ""},
    {BusRole::slider, "AXSlider", ""},
    {BusRole::menuBar, "AXMenuBar", ""},
    {BusRole::popupMenu, "AXMenu", ""},
    {BusRole::menuItem, "AXMenuItem", ""},
    {BusRole::radioMenuItem, "AXMenuItem", ""},
    {BusRole::list, "AXList", ""},
    {BusRole::listBox, "AXList", ""},
    {BusRole::listItem, "AXRow", ""},
    {BusRole::table, "AXTable", ""},
    {BusRole::treeTable, "AXOutline", ""},
    {BusRole::tree, "AXOutline", ""},
    {BusRole::tableRow, "AXRow", ""},
    {BusRole::treeItem, "AXRow", ""},
    {BusRole::tableCell, "AXCell", ""},
    {BusRole::scrollPane, "AXScrollArea", ""},
    {BusRole::scrollBar, "AXScrollBar", ""},
    {BusRole::label, "AXStaticText", ""},
    {BusRole::staticText, "AXStaticText", ""},
    {BusRole::caption, "AXStaticText", ""},
    {BusRole::icon, "AXImage", ""},
    {BusRole::image, "AXImage", ""},
    {BusRole::link, "AXLink", ""},
    {BusRole::progressBar, "AXProgressIndicator", ""},
    {BusRole::levelBar, "AXProgressIndicator", ""},
    {BusRole::animation, "AXBusyIndicator", ""},
    {BusRole::toolBar, "AXToolbar", ""},
    {BusRole::splitPane, "AXSplitGroup", ""},
    {BusRole::panel, "AXGroup", ""},
    {BusRole::filler, "AXGroup", ""},
    {BusRole::viewport, "AXGroup", ""},
    {BusRole::layeredPane, "AXGroup", ""},
    {BusRole::infoBar, "AXGroup", ""},
    {BusRole::statusBar, "AXGroup", ""},
    {BusRole::section, "AXGroup", ""},
    {BusRole::grouping, "AXGroup", ""},
    {BusRole::form, "AXGroup", ""},
    {BusRole::separator, "AXSplitter", ""},
};

}  // namespace

MappedRole mapRole(uint32_t busRole, const RoleContext& context) {
  if (is(busRole, BusRole::text)) {
    // Single-line text is a field; multi-line (or unspecified) an area.
    if (hasState(context.states, BusState::singleLine))
      return {"AXTextField", ""};
    return {"AXTextArea", ""};
  }
  if (is(busRole, BusRole::comboBox))
    return {context.hasTextChild ? "AXComboBox" : "AXPopUpButton", ""};
  if (is(busRole, BusRole::menu)) {
    if (context.parentRole && is(*context.parentRole, BusRole::menuBar))
      return {"AXMenuBarItem", ""};
    return {"AXMenu", ""};
  }
  if (is(busRole, BusRole::checkMenuItem)) {
    if (context.parentRole &&
        (is(*context.parentRole, BusRole::list) || is(*context.parentRole, BusRole::listBox)))
      return {"AXCheckBox", ""};
    return {"AXMenuItem", ""};
  }
  for (const RoleRow& row : kRoles) {
    if (is(busRole, row.busRole))
      return {row.role, row.subrole};
  }
  return {"AXUnknown", ""};
}

bool isWindowRole(uint32_t busRole) {
  return is(busRole, BusRole::frame) || is(busRole, BusRole::window) ||
         is(busRole, BusRole::dialog) || is(busRole, BusRole::alert) ||
         is(busRole, BusRole::fileChooser);
}

bool elementEnabled(uint64_t states) {
  return hasState(states, BusState::enabled) || hasState(states, BusState::sensitive);
}

int checkValue(uint64_t states) {
  if (hasState(states, BusState::indeterminate))
    return 2;
  return hasState(states, BusState::checked) ? 1 : 0;
}

bool hasCheckValue(uint32_t busRole) {
  return is(busRole, BusRole::checkBox) || is(busRole, BusRole::radioButton) ||
         is(busRole, BusRole::toggleButton) || is(busRole, BusRole::checkMenuItem) ||
         is(busRole, BusRole::radioMenuItem);
}

bool isSettableValueRole(uint32_t busRole) {
  return is(busRole, BusRole::slider) || is(busRole, BusRole::spinButton) ||
         is(busRole, BusRole::scrollBar);
}

std::vector<MappedAction> mapActions(const std::vector<std::string>& busActions,
                                     uint32_t busRole,
                                     uint64_t states) {
  std::vector<MappedAction> actions;
  bool havePress = false, haveIncrement = false, haveDecrement = false;
  for (size_t i = 0; i < busActions.size(); ++i) {
    std::string name = lower(busActions[i]);
    int index = static_cast<int>(i);
    if (name == "click" || name == "press" || name == "activate" || name == "toggle") {
      if (!havePress)
        actions.push_back({"AXPress", index});
      havePress = true;
    } else if (name == "expand or contract") {
      actions.push_back({hasState(states, BusState::expanded) ? "AXCollapse" : "AXExpand", index});
    } else if (name == "increase" || name == "increment") {
      actions.push_back({"AXIncrement", index});
      haveIncrement = true;
    } else if (name == "decrease" || name == "decrement") {
      actions.push_back({"AXDecrement", index});
      haveDecrement = true;
    } else {
      actions.push_back({busActions[i], index});
    }
  }
  if (isSettableValueRole(busRole)) {
    if (!haveIncrement)
      actions.push_back({"AXIncrement", -1});
    if (!haveDecrement)
      actions.push_back({"AXDecrement", -1});
  }
  return actions;
}

bool actionOpensMenu(std::string_view busAction,
                     uint32_t busRole,
                     std::optional<uint32_t> parentRole) {
  std::string name = lower(busAction);
  if (name == "show-menu" || name == "showmenu" || name == "show menu")
    return true;
  bool press = name == "click" || name == "press" || name == "activate" || name == "toggle";
  if (!press)
    return false;
  if (is(busRole, BusRole::comboBox))
    return true;
  return is(busRole, BusRole::menu) && parentRole && is(*parentRole, BusRole::menuBar);
}

}  // namespace cuh::linux_desktop
