// The accessibility vocabulary: every attribute, action, role and subrole
// name the helper reads, writes, performs or compares, spelled as the macOS
// accessibility API spells them. These spellings are also the protocol's
// own (tree rows report roles and subroles in them, requests name actions in
// them), so a backend whose accessibility API has other names maps its
// objects onto this table rather than changing it.
#pragma once

#include <string_view>

namespace cuh::ax {

// ---- Attributes ----

// What kind of element it is: one of the role names below.
inline constexpr std::string_view kRoleAttribute = "AXRole";
// A finer kind within the role (a subrole name below).
inline constexpr std::string_view kSubroleAttribute = "AXSubrole";
// The visible label, or a window's title.
inline constexpr std::string_view kTitleAttribute = "AXTitle";
// A label for elements that show none.
inline constexpr std::string_view kDescriptionAttribute = "AXDescription";
// The tooltip text.
inline constexpr std::string_view kHelpAttribute = "AXHelp";
// The grey hint text of an empty field.
inline constexpr std::string_view kPlaceholderValueAttribute = "AXPlaceholderValue";
// A developer-given identifier, stable across launches where set.
inline constexpr std::string_view kIdentifierAttribute = "AXIdentifier";
// The element's value: text of a field, state of a check box, level of a
// slider.
inline constexpr std::string_view kValueAttribute = "AXValue";
// Whether the element accepts user actions.
inline constexpr std::string_view kEnabledAttribute = "AXEnabled";
// Whether the element has keyboard focus within its application.
inline constexpr std::string_view kFocusedAttribute = "AXFocused";
// Whether the element is busy (loading, computing). "AXElementBusy" is the
// name macOS documents; "AXBusy" is undocumented but answered by some
// elements (and is the simulated desktop's `busy`). A row is busy when
// either reads as true.
inline constexpr std::string_view kElementBusyAttribute = "AXElementBusy";
inline constexpr std::string_view kBusyAttribute = "AXBusy";
// Whether the element is selected (a row, a tab).
inline constexpr std::string_view kSelectedAttribute = "AXSelected";
// Whether the element (an application or window) is hidden.
inline constexpr std::string_view kHiddenAttribute = "AXHidden";
// Whether a window is minimised.
inline constexpr std::string_view kMinimizedAttribute = "AXMinimized";
// Whether an application is the frontmost one.
inline constexpr std::string_view kFrontmostAttribute = "AXFrontmost";
// Top-left corner in screen points (a point value).
inline constexpr std::string_view kPositionAttribute = "AXPosition";
// Width and height in points (a size value).
inline constexpr std::string_view kSizeAttribute = "AXSize";
// The selected part of a text, in UTF-16 units (a range value).
inline constexpr std::string_view kSelectedTextRangeAttribute = "AXSelectedTextRange";
// The child elements, in order.
inline constexpr std::string_view kChildrenAttribute = "AXChildren";
// The element one level up (the application element has none).
inline constexpr std::string_view kParentAttribute = "AXParent";
// An application's windows, front to back.
inline constexpr std::string_view kWindowsAttribute = "AXWindows";
// The window of an application that has its keyboard focus, whether or not
// the application is in front.
inline constexpr std::string_view kFocusedWindowAttribute = "AXFocusedWindow";
// The element of an application that has its keyboard focus.
inline constexpr std::string_view kFocusedUIElementAttribute = "AXFocusedUIElement";

// ---- Actions ----

// Activates the element as a click would (a button, a menu item).
inline constexpr std::string_view kPressAction = "AXPress";
// Scroll an area by one page in the direction named.
inline constexpr std::string_view kScrollUpByPageAction = "AXScrollUpByPage";
inline constexpr std::string_view kScrollDownByPageAction = "AXScrollDownByPage";
inline constexpr std::string_view kScrollLeftByPageAction = "AXScrollLeftByPage";
inline constexpr std::string_view kScrollRightByPageAction = "AXScrollRightByPage";

// ---- Roles ----

// The element of a whole application (the root of its tree).
inline constexpr std::string_view kApplicationRole = "AXApplication";
// A top-level window or dialog.
inline constexpr std::string_view kWindowRole = "AXWindow";
// A single-line text field (secure fields too, by subrole).
inline constexpr std::string_view kTextFieldRole = "AXTextField";
// A multi-line text area.
inline constexpr std::string_view kTextAreaRole = "AXTextArea";
// A text field with a list of choices.
inline constexpr std::string_view kComboBoxRole = "AXComboBox";
// A push button.
inline constexpr std::string_view kButtonRole = "AXButton";
// A check box or a toggle (by subrole).
inline constexpr std::string_view kCheckBoxRole = "AXCheckBox";
// A radio button, or a tab (by subrole).
inline constexpr std::string_view kRadioButtonRole = "AXRadioButton";
// A row of tabs.
inline constexpr std::string_view kTabGroupRole = "AXTabGroup";
// A pair of step buttons that change a value.
inline constexpr std::string_view kIncrementorRole = "AXIncrementor";
// A slider.
inline constexpr std::string_view kSliderRole = "AXSlider";
// A button that opens a menu of choices.
inline constexpr std::string_view kPopUpButtonRole = "AXPopUpButton";
// An application's menu bar, and the menus in it.
inline constexpr std::string_view kMenuBarRole = "AXMenuBar";
inline constexpr std::string_view kMenuBarItemRole = "AXMenuBarItem";
// A menu, and an item of it.
inline constexpr std::string_view kMenuRole = "AXMenu";
inline constexpr std::string_view kMenuItemRole = "AXMenuItem";
// A list, a table and a tree, their rows and a table's cells.
inline constexpr std::string_view kListRole = "AXList";
inline constexpr std::string_view kTableRole = "AXTable";
inline constexpr std::string_view kOutlineRole = "AXOutline";
inline constexpr std::string_view kRowRole = "AXRow";
inline constexpr std::string_view kCellRole = "AXCell";
// A scrolling area, and its scroll bars.
inline constexpr std::string_view kScrollAreaRole = "AXScrollArea";
inline constexpr std::string_view kScrollBarRole = "AXScrollBar";
// Text the user cannot edit (a label).
inline constexpr std::string_view kStaticTextRole = "AXStaticText";
// An image or icon.
inline constexpr std::string_view kImageRole = "AXImage";
// A hyperlink.
inline constexpr std::string_view kLinkRole = "AXLink";
// A progress bar or level meter, and an indeterminate spinner.
inline constexpr std::string_view kProgressIndicatorRole = "AXProgressIndicator";
inline constexpr std::string_view kBusyIndicatorRole = "AXBusyIndicator";
// A tool bar.
inline constexpr std::string_view kToolbarRole = "AXToolbar";
// Panes divided by splitters, and a splitter.
inline constexpr std::string_view kSplitGroupRole = "AXSplitGroup";
inline constexpr std::string_view kSplitterRole = "AXSplitter";
// A container that only groups other elements.
inline constexpr std::string_view kGroupRole = "AXGroup";
// An element of no known kind.
inline constexpr std::string_view kUnknownRole = "AXUnknown";

// ---- Subroles ----

// An ordinary document or application window.
inline constexpr std::string_view kStandardWindowSubrole = "AXStandardWindow";
// A dialog or alert window.
inline constexpr std::string_view kDialogSubrole = "AXDialog";
// A check box drawn as a toggle button.
inline constexpr std::string_view kToggleSubrole = "AXToggle";
// A radio button that is a tab.
inline constexpr std::string_view kTabButtonSubrole = "AXTabButton";
// A text field whose text is hidden (a password).
inline constexpr std::string_view kSecureTextFieldSubrole = "AXSecureTextField";

}  // namespace cuh::ax
