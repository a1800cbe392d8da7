// What assistive technology is told about a control tree: per control a role, a name, a
// description, states, actions, a value and a text, and which controls are its children. Plain
// data read from the controls on demand, with no window system in it: each host's accessibility
// binding (ATK on Linux) turns it into the platform's objects and events, and performs the
// actions through performAccessibleAction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

class Control;
class InputRouter;

enum class AccessibleRole : uint8_t {
  kPanel,        // a container
  kLabel,        // Label, Text
  kImage,        // a plain control the skin gave an accessible name (an icon)
  kPushButton,   // Button
  kCheckBox,     // Option without a group
  kRadioButton,  // Option of a group
  kText,         // Edit (one line), RichEdit (several lines, read-only)
  kProgressBar,  // Progress
  kComboBox,     // Combo
  kListItem,     // an item of a Combo
};

// State flags of a node.
enum AccessibleState : uint32_t {
  kAccessibleVisible = 1u << 0,    // the control itself is not hidden
  kAccessibleShowing = 1u << 1,    // it and every container above it are shown
  kAccessibleEnabled = 1u << 2,    // it and every container above it are enabled
  kAccessibleFocusable = 1u << 3,
  kAccessibleFocused = 1u << 4,
  kAccessibleCheckable = 1u << 5,
  kAccessibleChecked = 1u << 6,
  kAccessibleEditable = 1u << 7,
  kAccessibleReadOnly = 1u << 8,
  kAccessibleSingleLine = 1u << 9,
  kAccessibleMultiLine = 1u << 10,
  kAccessibleSelectable = 1u << 11,
  kAccessibleSelected = 1u << 12,
  kAccessibleDefault = 1u << 13,  // the button Enter presses in a box
  kAccessibleScrollable = 1u << 14,
};

struct AccessibleValue {
  int minimum = 0;
  int maximum = 100;
  int current = 0;
  bool operator==(const AccessibleValue&) const = default;
};

// The text a text node exposes, with its caret and selection as character indexes (equal ends:
// nothing selected).
struct AccessibleText {
  std::wstring text;
  int caret = 0;
  int selectionStart = 0;
  int selectionEnd = 0;
  bool operator==(const AccessibleText&) const = default;
};

struct AccessibleNode {
  AccessibleRole role = AccessibleRole::kPanel;
  std::wstring name;
  std::wstring description;
  uint32_t states = 0;
  // "click" (buttons), "toggle" (options), "press" (combos: opens the drop list).
  std::vector<std::wstring> actions;
  std::optional<AccessibleValue> value;  // progress bars
  std::optional<AccessibleText> text;    // text nodes; a password edit has none
  bool operator==(const AccessibleNode&) const = default;

  bool has(AccessibleState state) const { return (states & state) != 0; }
};

// What a node's states depend on beyond the control itself.
struct AccessibleContext {
  const Control* focused = nullptr;        // the window's keyboard focus
  const Control* defaultControl = nullptr;  // the button Enter presses (boxes)
};

// Whether |control| is shown to assistive technology: spacers and nameless images are
// decoration, and so is a container holding nothing but decoration.
bool isAccessible(const Control& control);

// The children a client sees under |control|, in tree order: its accessible children, the
// shown page only of tab pages. A Combo's items are not controls: see accessibleItemCount.
std::vector<Control*> accessibleChildren(const Control& control);

AccessibleNode describeAccessible(const Control& control, const AccessibleContext& context = {});

// The items of a Combo (0 for other controls), each a list item named by its text, selected
// when it is the chosen one.
int accessibleItemCount(const Control& control);
AccessibleNode describeAccessibleItem(const Control& control, int index);

// Performs action |index| of describeAccessible(control).actions as a user's click would, through
// the window's router (a control that does not take input refuses); false when refused.
bool performAccessibleAction(Control& control, int index, InputRouter& router);

// Replaces the whole text of an editable Edit as typing it would (the focus moves there, the
// length limit and the single line hold, "textchanged" goes out); false when the control is not
// an editable Edit or does not take input.
bool setAccessibleText(Control& control, std::wstring_view text, InputRouter& router);
// Moves the caret of an Edit (a selection when |start| and |end| differ, clamped to the text);
// false for other controls.
bool setAccessibleSelection(Control& control, int start, int end);

// The name of a role as the tree dump writes it ("push button").
std::wstring_view accessibleRoleName(AccessibleRole role);

// A readable dump of the tree under |root|: one line per node, indented by depth, with its role,
// name, states and value (for the README and test failures).
std::wstring dumpAccessibleTree(const Control& root, const AccessibleContext& context = {});

}  // namespace toolkit
