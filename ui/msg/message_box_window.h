// The general box: a title, a text, an optional icon and the buttons the caller adds, each with
// its own action. It disables its parent from construction until a button, its close button or
// the window manager's close enables it again, and deletes itself on its final message. Main
// thread only.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "toolkit/core/window_impl_base.h"
#include "ui/msg/message_box.h"

namespace msg {

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Empty: no icon ("msgiconimage" hidden, the text 340 wide); else the icon's image.
  virtual void setIcon(const std::wstring& image) = 0;
  virtual void setTitle(const std::wstring& text) = 0;
  virtual void setText(const std::wstring& text) = 0;
  virtual void setCloseCallback(std::function<void()> onClose) = 0;
  // Appended after the buttons added before, between the two spacers of "bottombar".
  virtual void addButton(const ButtonSpec& spec) = 0;
};

// The texts of the general boxes on screen; a text in here is not shown a second time.
std::set<std::wstring>& openBoxes();

// Boxes disable the window they belong to while open. Several boxes can be open over one window
// (an error arriving while a question is shown): the window is enabled again when the last of
// them lets it go. A null window is ignored.
void holdParent(toolkit::WindowImplBase* parent);
void releaseParentHold(toolkit::WindowImplBase* parent);
// Forgets one hold without touching the window (a box going with its window).
void dropParentHold(toolkit::WindowImplBase* parent);

class CSelectionUI;

class MessageBoxWindow : public toolkit::WindowImplBase, public IMessageBox {
 public:
  static constexpr const wchar_t* kLayout = L"common/xml_messagebox.xml";
  static constexpr const wchar_t* kLayoutNoIcon = L"common/xml_messagebox_noicon.xml";

  // Disables |parent| (may be null).
  MessageBoxWindow(toolkit::WindowImplBase* parent, std::wstring layout);
  ~MessageBoxWindow() override;

  // ---- WindowImplBase ----
  std::wstring windowClassName() const override { return L"MessageBoxWindow"; }
  std::wstring skinFile() const override { return layout_; }
  void initWindow() override;
  void notify(std::wstring_view type, toolkit::Control& sender) override;
  bool handleMessage(const toolkit::WindowMessage& message) override;
  // Escape is the close button.
  bool preFilterKey(const toolkit::InputEvent& event) override;
  void onFinalMessage() override;
  // The default button; the message, its markup left out.
  toolkit::Control* defaultControl() const override;
  std::wstring accessibleDescription() const override;
  // Lets the parent go, once (see holdParent). Also for a box whose window failed.
  void releaseParent();

  // The general boxes on screen, oldest first.
  static const std::vector<MessageBoxWindow*>& onScreen();
  const std::wstring& text() const { return text_; }

  // ---- IMessageBox ----
  void setIcon(const std::wstring& image) override;
  void setTitle(const std::wstring& text) override;
  void setText(const std::wstring& text) override;
  void setCloseCallback(std::function<void()> onClose) override;
  // Also gives the focus to the box's default button: its first primary one (the first button
  // when all are secondary), which Enter presses.
  void addButton(const ButtonSpec& spec) override;
  // The button that has the focus when the box opens; null without buttons.
  CSelectionUI* defaultButton() const;

 private:
  void closeByCloseButton();

  toolkit::WindowImplBase* parent_;
  std::wstring layout_;
  std::function<void()> onClose_;
  std::wstring text_;
  bool parentReleased_ = false;
  bool keyed_ = false;  // text_ is this box's entry in openBoxes
};

}  // namespace msg
