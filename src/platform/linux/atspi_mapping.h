// The mapping from what the accessibility bus reports (roles, states,
// actions) to the macOS vocabulary the protocol speaks. Pure tables: any
// toolkit on the bus goes through the same mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuh::linux_desktop {

// The bus's role numbers that the mapping names (AtspiRole).
enum class BusRole : uint32_t {
  alert = 2,
  animation = 3,
  checkBox = 7,
  checkMenuItem = 8,
  comboBox = 11,
  dialog = 16,
  fileChooser = 19,
  filler = 20,
  frame = 23,
  icon = 26,
  image = 27,
  label = 29,
  layeredPane = 30,
  list = 31,
  listItem = 32,
  menu = 33,
  menuBar = 34,
  menuItem = 35,
  pageTab = 37,
  pageTabList = 38,
  panel = 39,
  passwordText = 40,
  popupMenu = 41,
  progressBar = 42,
  pushButton = 43,
  radioButton = 44,
  radioMenuItem = 45,
  scrollBar = 48,
  scrollPane = 49,
  separator = 50,
  slider = 51,
  spinButton = 52,
  splitPane = 53,
  statusBar = 54,
  table = 55,
  tableCell = 56,
  tableColumnHeader = 57,
  text = 61,
  toggleButton = 62,
  toolBar = 63,
  tree = 65,
  treeTable = 66,
  viewport = 68,
  window = 69,
  application = 75,
  entry = 79,
  caption = 81,
  section = 85,
  form = 87,
  link = 88,
  tableRow = 90,
  treeItem = 91,
  documentText = 94,
  listBox = 98,
  grouping = 99,
  infoBar = 102,
  levelBar = 103,
  staticText = 116,
};

// The bus's state bits that the mapping reads (AtspiStateType), as bit
// numbers in the 64-bit state set.
enum class BusState : uint32_t {
  active = 1,
  busy = 3,
  checked = 4,
  editable = 7,
  enabled = 8,
  expandable = 9,
  expanded = 10,
  focusable = 11,
  focused = 12,
  horizontal = 14,
  multiLine = 17,
  selectable = 22,
  selected = 23,
  sensitive = 24,
  showing = 25,
  singleLine = 26,
  vertical = 29,
  visible = 30,
  indeterminate = 32,
  checkable = 41,
  readOnly = 43,
};

inline bool hasState(uint64_t states, BusState state) {
  return (states >> static_cast<uint32_t>(state)) & 1u;
}

// What decides a role beyond its number.
struct RoleContext {
  uint64_t states = 0;
  std::optional<uint32_t> parentRole;
  // A combo box with an editable text child (GTK: a combo box with entry).
  bool hasTextChild = false;
};

struct MappedRole {
  std::string role;
  std::string subrole;  // empty: none
  friend bool operator==(const MappedRole&, const MappedRole&) = default;
};

// The protocol's role and subrole for a bus role; AXUnknown for anything
// the table does not name.
MappedRole mapRole(uint32_t busRole, const RoleContext& context);

// Whether an object of this role is a window of its application (the
// top-level roles, whatever the toolkit).
bool isWindowRole(uint32_t busRole);

// Element states as the protocol reads them.
bool elementEnabled(uint64_t states);  // enabled, or sensitive (GTK 4 reports only that)

// The value of a checkable object: 1 checked, 0 not, 2 indeterminate.
int checkValue(uint64_t states);
// Whether the role's value is a check state (check boxes, radio buttons,
// toggles, check and radio menu items).
bool hasCheckValue(uint32_t busRole);
// Whether the role is a value object the user sets (sliders, spin buttons,
// scroll bars; not progress or level bars).
bool isSettableValueRole(uint32_t busRole);

// One action the protocol offers, and how it is done on the bus.
struct MappedAction {
  std::string name;   // "AXPress", "AXIncrement", a toolkit name...
  int busIndex = -1;  // the bus action's index; -1: through the value interface
  friend bool operator==(const MappedAction&, const MappedAction&) = default;
};

// The protocol's actions from the object's bus actions (in its order):
// click/press/activate/toggle (any case) give one "AXPress" (the first of
// them); "expand or contract" gives AXExpand or AXCollapse by the expanded
// state; increase/decrease give AXIncrement/AXDecrement, which settable
// value objects also get through the value interface when they lack them;
// every other action keeps its toolkit name.
std::vector<MappedAction> mapActions(const std::vector<std::string>& busActions,
                                     uint32_t busRole,
                                     uint64_t states);

// An action that would open a popup menu (pressing a combo box or a menu of
// a menu bar, or a toolkit's show-menu): never performed in the background.
bool actionOpensMenu(std::string_view busAction,
                     uint32_t busRole,
                     std::optional<uint32_t> parentRole);

}  // namespace cuh::linux_desktop
