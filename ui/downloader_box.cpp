#include "ui/downloader_box.h"

#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/msg/message_box.h"
#include "ui/msg/message_box_window.h"
#include "ui/ui_actions.h"
#include "utility/base/main_loop.h"

namespace {
DownloaderBox* g_current = nullptr;
}  // namespace

DownloaderBox::DownloaderBox(toolkit::WindowImplBase* parent, std::function<void()> onFinal)
    : parent_(parent), onFinal_(std::move(onFinal)) {}

DownloaderBox::~DownloaderBox() {
  if (g_current == this) g_current = nullptr;
}

DownloaderBox* DownloaderBox::current() { return g_current; }

void DownloaderBox::holdParentWindow(toolkit::WindowImplBase* parent) {
  parent_ = parent;
  msg::holdParent(parent_);
  holdsParent_ = parent_ != nullptr;
}

void DownloaderBox::notify(std::wstring_view type, toolkit::Control& sender) {
  if (type == L"click" && sender.name() == L"btnLeft") {
    // Off the screen before the event goes out: it is sent on this thread, and a slow analytics
    // host would otherwise hold a visible, frozen window until the transfer gives up.
    show(toolkit::ShowCommand::kHide);
    leaving_ = true;
    if (parent_ != nullptr) {
      parent_->show(toolkit::ShowCommand::kHide);
      parent_->minimize();
    }
    uiactions::sendUiEvent(L"userCancel", DownloaderModel::instance().getOpenid());
    close(toolkit::kResultOk);
    utility::MainLoop::quit();
    return;
  }
  if (type == L"click" && (sender.name() == L"btnRight" || sender.name() == L"btnSure")) {
    close(toolkit::kResultOk);
    return;
  }
  WindowImplBase::notify(type, sender);
}

bool DownloaderBox::preFilterKey(const toolkit::InputEvent& event) {
  if (event.key != toolkit::Key::kEscape || event.modifiers != toolkit::kNoModifier) return false;
  close(toolkit::kResultOk);
  return true;
}

std::wstring DownloaderBox::accessibleDescription() const {
  const toolkit::Control* text = findControl(L"descriptlabel");
  return text != nullptr ? text->text() : std::wstring();
}

void DownloaderBox::onFinalMessage() {
  WindowImplBase::onFinalMessage();
  const bool replaced = g_current != this;
  if (!replaced) g_current = nullptr;
  // Left by "btnLeft": the installer ends hidden, its window stays as it is.
  if (leaving_) {
    if (holdsParent_) msg::dropParentHold(parent_);
  } else {
    if (holdsParent_) msg::releaseParentHold(parent_);
    // A replaced box does not raise the window over the newer one.
    if (!replaced && onFinal_) onFinal_();
  }
  delete this;
}

void showExitBox(WindowImplBase* parent) {
  if (DownloaderBox* old = DownloaderBox::current()) {
    old->close(toolkit::kResultOk);
    g_current = nullptr;
  }
  // The parent is enabled again by the hold's release (when no other box holds it).
  auto* box = new DownloaderBox(parent, [parent] {
    if (parent == nullptr) return;
    parent->bringToTop();
    parent->show(toolkit::ShowCommand::kShow);
  });
  if (!box->create(parent, {}, toolkit::WindowStyle{.dialog = true})) {
    delete box;
    return;
  }
  g_current = box;
  const auto text = [box](const wchar_t* name, const char* key) {
    if (toolkit::Control* control = box->findControl(name)) control->setText(toolkit::langString(key));
  };
  text(L"titlelabel", "MSGBox_noice");
  text(L"btnLeft", "Yes");
  text(L"btnRight", "No");
  text(L"btnSure", "Yes");
  text(L"descriptlabel", "MsgBox_exit");
  box->setTitle(toolkit::langString("MSGBox_noice"));
  const auto images = [box](const wchar_t* name, const wchar_t* file) {
    toolkit::Control* button = box->findControl(name);
    if (button == nullptr) return;
    const wchar_t* states[] = {L"normalimage", L"hotimage", L"pushedimage"};
    for (int i = 0; i < 3; ++i) {
      button->setAttribute(states[i], std::wstring(L"file='") + file + L"' source='" + std::to_wstring(100 * i) +
                                          L",0," + std::to_wstring(100 * (i + 1)) + L",32'");
    }
  };
  images(L"btnLeft", L"button_box_cancel.png");
  images(L"btnRight", L"button_box_hot.png");
  box->relayout();
  box->centerWindow();
  box->showWindow(true, true);
  // Staying is the safe answer: Enter keeps the installer.
  box->input().setFocus(box->findControl(L"btnRight"));
  box->holdParentWindow(parent);
}
