#include "ui/msg/message_box.h"

#include "toolkit/core/window_impl_base.h"
#include "ui/msg/message_box_window.h"

namespace {

// Opens a general box unless one with |text| is on screen; the box owns itself from here on.
void openBox(WindowImplBase* parent, const ButtonSpec& first, const ButtonSpec* second,
             const std::wstring& icon, const std::wstring& title, const std::wstring& text,
             std::function<void()>* onClose) {
  if (!msg::openBoxes().insert(text).second) return;
  auto* box = new msg::MessageBoxWindow(
      parent, icon.empty() ? msg::MessageBoxWindow::kLayoutNoIcon : msg::MessageBoxWindow::kLayout);
  // The box keeps its text in openBoxes only once it holds it (its destructor takes it out).
  box->setText(text);
  if (!box->create(parent, {}, toolkit::WindowStyle{.topmost = true, .toolWindow = true, .dialog = true})) {
    // No window: nothing would ever enable the parent or delete the box.
    box->releaseParent();
    delete box;
    return;
  }
  box->centerWindow();
  box->showWindow(true, true);
  box->setIcon(icon);
  box->setTitle(title);
  box->setText(text);
  if (onClose != nullptr) box->setCloseCallback(std::move(*onClose));
  box->addButton(first);
  if (second != nullptr) box->addButton(*second);
}

}  // namespace

void showMessageBox(WindowImplBase* parent, const ButtonSpec& button, const std::wstring& title,
                    const std::wstring& text) {
  openBox(parent, button, nullptr, msg::iconImageFor(parent, 2), title, text, nullptr);
}

void showMessageBox2(WindowImplBase* parent, const ButtonSpec& first, const ButtonSpec& second,
                     const std::wstring& icon, const std::wstring& title, const std::wstring& text) {
  openBox(parent, first, &second, icon, title, text, nullptr);
}

void showMessageBoxEx(WindowImplBase* parent, const ButtonSpec& first, const ButtonSpec& second,
                      const std::wstring& icon, const std::wstring& title, const std::wstring& text,
                      std::function<void()> onClose) {
  openBox(parent, first, &second, icon, title, text, &onClose);
}
