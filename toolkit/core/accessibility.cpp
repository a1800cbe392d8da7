#include "toolkit/core/accessibility.h"

#include "toolkit/core/control.h"
#include "toolkit/core/control_input.h"
#include "toolkit/core/label_markup.h"

namespace toolkit {
namespace {

// The text a label shows, its markup tags left out.
std::wstring plainText(const Control& control) {
  if (const auto* label = dynamic_cast<const Label*>(&control)) return label->markup().text;
  return control.text();
}

bool allAbove(const Control& control, bool (Control::*test)() const) {
  for (const Control* c = &control; c != nullptr; c = c->parent()) {
    if (!(c->*test)()) return false;
  }
  return true;
}

AccessibleRole roleOf(const Control& control) {
  // Subclasses first: an Option is a Button, an Edit, Progress and Combo are Labels.
  if (const auto* option = dynamic_cast<const Option*>(&control)) {
    return option->group().empty() ? AccessibleRole::kCheckBox : AccessibleRole::kRadioButton;
  }
  if (dynamic_cast<const Button*>(&control) != nullptr) return AccessibleRole::kPushButton;
  if (dynamic_cast<const Edit*>(&control) != nullptr) return AccessibleRole::kText;
  if (dynamic_cast<const RichEdit*>(&control) != nullptr) return AccessibleRole::kText;
  if (dynamic_cast<const Progress*>(&control) != nullptr) return AccessibleRole::kProgressBar;
  if (dynamic_cast<const Combo*>(&control) != nullptr) return AccessibleRole::kComboBox;
  if (dynamic_cast<const Label*>(&control) != nullptr) return AccessibleRole::kLabel;
  if (const_cast<Control&>(control).asContainer() != nullptr) return AccessibleRole::kPanel;
  return AccessibleRole::kImage;
}

// The name when the skin gives none: what the control shows where that names it, else its
// tool tip.
std::wstring shownName(const Control& control, AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kLabel: return plainText(control);
    case AccessibleRole::kPushButton:
    case AccessibleRole::kCheckBox:
    case AccessibleRole::kRadioButton: {
      std::wstring text = plainText(control);
      return text.empty() ? control.toolTip() : text;
    }
    case AccessibleRole::kComboBox: {
      // The chosen item names a combo nobody labelled.
      if (!control.toolTip().empty()) return control.toolTip();
      const auto& combo = static_cast<const Combo&>(control);
      const Combo::Item* item = combo.item(combo.selectedIndex());
      return item != nullptr ? item->text : std::wstring();
    }
    case AccessibleRole::kProgressBar: {
      std::wstring text = plainText(control);
      return text.empty() ? control.toolTip() : text;
    }
    default: return control.toolTip();
  }
}

}  // namespace

bool isAccessible(const Control& control) {
  if (!control.accessibleName().empty()) return true;
  Control& mutableControl = const_cast<Control&>(control);
  if (mutableControl.asContainer() != nullptr) {
    return !accessibleChildren(control).empty() || !control.toolTip().empty();
  }
  // A plain control is a spacer or a picture: shown only when the skin names it.
  return roleOf(control) != AccessibleRole::kImage;
}

std::vector<Control*> accessibleChildren(const Control& control) {
  std::vector<Control*> children;
  Container* container = const_cast<Control&>(control).asContainer();
  if (container == nullptr) return children;
  const auto* pages = dynamic_cast<const TabLayout*>(container);
  for (int i = 0; i < container->count(); ++i) {
    if (pages != nullptr && i != pages->selectedIndex()) continue;
    Control* child = container->childAt(i);
    if (isAccessible(*child)) children.push_back(child);
  }
  return children;
}

AccessibleNode describeAccessible(const Control& control, const AccessibleContext& context) {
  AccessibleNode node;
  node.role = roleOf(control);
  node.name = control.accessibleName();
  const bool namedBySkin = !node.name.empty();
  if (!namedBySkin) node.name = shownName(control, node.role);
  node.description = control.accessibleDescription();
  // A tool tip that did not become the name still says something.
  if (node.description.empty() && node.name != control.toolTip()) node.description = control.toolTip();

  if (control.visible()) node.states |= kAccessibleVisible;
  if (allAbove(control, &Control::visible)) node.states |= kAccessibleShowing;
  if (allAbove(control, &Control::enabled)) node.states |= kAccessibleEnabled;
  if (control.acceptsFocus()) node.states |= kAccessibleFocusable;
  if (&control == context.focused) node.states |= kAccessibleFocused;
  if (&control == context.defaultControl) node.states |= kAccessibleDefault;

  switch (node.role) {
    case AccessibleRole::kPushButton:
      node.actions = {L"click"};
      break;
    case AccessibleRole::kCheckBox:
    case AccessibleRole::kRadioButton:
      node.states |= kAccessibleCheckable;
      if (static_cast<const Option&>(control).selected()) node.states |= kAccessibleChecked;
      node.actions = {L"toggle"};
      break;
    case AccessibleRole::kProgressBar:
      node.value = AccessibleValue{0, 100, static_cast<const Progress&>(control).value()};
      break;
    case AccessibleRole::kComboBox:
      node.actions = {L"press"};
      break;
    case AccessibleRole::kText:
      if (const auto* edit = dynamic_cast<const Edit*>(&control)) {
        node.states |= kAccessibleSingleLine;
        node.states |= edit->readOnly() ? kAccessibleReadOnly : kAccessibleEditable;
        // A password is never read out, not even its length.
        if (!edit->password()) {
          node.text = AccessibleText{edit->text(), edit->caret(), edit->selectionStart(), edit->selectionEnd()};
        }
      } else {
        const auto& rich = static_cast<const RichEdit&>(control);
        node.states |= kAccessibleMultiLine | kAccessibleScrollable;
        node.states |= rich.readOnly() ? kAccessibleReadOnly : kAccessibleEditable;
        node.text = AccessibleText{rich.text(), 0, 0, 0};
      }
      break;
    default:
      break;
  }
  return node;
}

int accessibleItemCount(const Control& control) {
  const auto* combo = dynamic_cast<const Combo*>(&control);
  return combo != nullptr ? combo->itemCount() : 0;
}

AccessibleNode describeAccessibleItem(const Control& control, int index) {
  AccessibleNode node;
  node.role = AccessibleRole::kListItem;
  const auto* combo = dynamic_cast<const Combo*>(&control);
  const Combo::Item* item = combo != nullptr ? combo->item(index) : nullptr;
  if (item == nullptr) return node;
  node.name = item->text;
  node.states = kAccessibleSelectable;
  if (combo->visible()) node.states |= kAccessibleVisible;
  if (allAbove(*combo, &Control::visible)) node.states |= kAccessibleShowing;
  if (allAbove(*combo, &Control::enabled)) node.states |= kAccessibleEnabled;
  if (index == combo->selectedIndex()) node.states |= kAccessibleSelected;
  return node;
}

bool performAccessibleAction(Control& control, int index, InputRouter& router) {
  const AccessibleNode node = describeAccessible(control);
  if (index < 0 || index >= static_cast<int>(node.actions.size())) return false;
  // Every action is the control's own activation: a click, a toggle, opening the drop list.
  return router.activate(control);
}

bool setAccessibleText(Control& control, std::wstring_view text, InputRouter& router) {
  auto* edit = dynamic_cast<Edit*>(&control);
  if (edit == nullptr || edit->readOnly() || !router.setFocus(edit)) return false;
  edit->setSelection(0, static_cast<int>(edit->text().size()));
  // Typed text replaces the selection; nothing typed deletes it.
  return router.handle(text.empty() ? InputEvent::keyDown(Key::kDelete) : InputEvent::typed(std::wstring(text)));
}

bool setAccessibleSelection(Control& control, int start, int end) {
  auto* edit = dynamic_cast<Edit*>(&control);
  if (edit == nullptr) return false;
  edit->setSelection(start, end);
  return true;
}

std::wstring_view accessibleRoleName(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kPanel: return L"panel";
    case AccessibleRole::kLabel: return L"label";
    case AccessibleRole::kImage: return L"image";
    case AccessibleRole::kPushButton: return L"push button";
    case AccessibleRole::kCheckBox: return L"check box";
    case AccessibleRole::kRadioButton: return L"radio button";
    case AccessibleRole::kText: return L"text";
    case AccessibleRole::kProgressBar: return L"progress bar";
    case AccessibleRole::kComboBox: return L"combo box";
    case AccessibleRole::kListItem: return L"list item";
  }
  return L"unknown";
}

namespace {

void dumpNode(const AccessibleNode& node, int depth, std::wstring& out) {
  out.append(static_cast<size_t>(depth) * 2, L' ');
  out += L"[";
  out += accessibleRoleName(node.role);
  out += L"]";
  if (!node.name.empty()) out += L" \"" + node.name + L"\"";
  struct Flag {
    AccessibleState state;
    const wchar_t* word;
  };
  static constexpr Flag kShown[] = {
      {kAccessibleFocused, L"focused"}, {kAccessibleChecked, L"checked"},
      {kAccessibleSelected, L"selected"}, {kAccessibleDefault, L"default"},
      {kAccessibleEditable, L"editable"}, {kAccessibleReadOnly, L"read-only"},
  };
  for (const Flag& flag : kShown) {
    if (node.has(flag.state)) out += std::wstring(L" ") + flag.word;
  }
  if (!node.has(kAccessibleShowing)) out += L" hidden";
  if (!node.has(kAccessibleEnabled)) out += L" disabled";
  if (node.value) out += L" value=" + std::to_wstring(node.value->current);
  for (const std::wstring& action : node.actions) out += L" (" + action + L")";
  out += L"\n";
}

void dumpTree(const Control& control, const AccessibleContext& context, int depth, std::wstring& out) {
  dumpNode(describeAccessible(control, context), depth, out);
  for (int i = 0; i < accessibleItemCount(control); ++i) dumpNode(describeAccessibleItem(control, i), depth + 1, out);
  for (const Control* child : accessibleChildren(control)) dumpTree(*child, context, depth + 1, out);
}

}  // namespace

std::wstring dumpAccessibleTree(const Control& root, const AccessibleContext& context) {
  std::wstring out;
  dumpTree(root, context, 0, out);
  return out;
}

}  // namespace toolkit
