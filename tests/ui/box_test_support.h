// The skinned boxes as a test sees them in the headless host: their buttons by text.
#pragma once

#include <string>
#include <vector>

#include "toolkit/headless/headless_host.h"

namespace uitest {

// The texts of the box's buttons ("Selection" children of "bottombar") in order, spacers left out.
inline std::vector<std::wstring> boxButtons(toolkit::HeadlessWindow& box) {
  std::vector<std::wstring> texts;
  toolkit::Control* bar = box.window().findControl(L"bottombar");
  toolkit::Container* buttons = bar != nullptr ? bar->asContainer() : nullptr;
  for (int i = 0; buttons != nullptr && i < buttons->count(); ++i) {
    if (buttons->childAt(i)->className() == L"Selection") texts.push_back(buttons->childAt(i)->text());
  }
  return texts;
}

// Clicks the box's button with |text|; false when there is none.
inline bool clickBoxButton(toolkit::HeadlessWindow& box, const std::wstring& text) {
  toolkit::Control* bar = box.window().findControl(L"bottombar");
  toolkit::Container* buttons = bar != nullptr ? bar->asContainer() : nullptr;
  for (int i = 0; buttons != nullptr && i < buttons->count(); ++i) {
    toolkit::Control* child = buttons->childAt(i);
    if (child->className() == L"Selection" && child->text() == text) {
      child->setName(L"picked");
      return box.click(L"picked");
    }
  }
  return false;
}

}  // namespace uitest
