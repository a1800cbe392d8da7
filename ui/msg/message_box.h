// The installer's skinned boxes. None runs a loop of its own: a box disables its parent, returns
// at once, and its buttons run their actions later on the main thread. Main thread only.
#pragma once

#include <functional>
#include <string>

namespace toolkit {
class WindowImplBase;
}

// One button of a general box: its (translated) text, its action (may be empty) and its look.
struct ButtonSpec {
  std::wstring text;
  std::function<void()> onClick;
  bool secondary = false;
};

// The icon of a general box: 0, 1, 2 the notice image, 3 the success image, anything else none.
using IconKind = int;

namespace msg {

// The image of |kind| ("common/msg_noice48.png", or its enlarged variant when |enlarged|);
// empty for no icon.
std::wstring iconImage(IconKind kind, bool enlarged = false);
// The image of |kind| for boxes owned by |parent| (enlarged on a high-DPI screen).
std::wstring iconImageFor(toolkit::WindowImplBase* parent, IconKind kind);

}  // namespace msg

using toolkit::WindowImplBase;

// One-button box with the notice icon.
void showMessageBox(WindowImplBase* parent, const ButtonSpec& button, const std::wstring& title,
                    const std::wstring& text);
// Two-button box; |icon| is an image text, empty for the layout without icon.
void showMessageBox2(WindowImplBase* parent, const ButtonSpec& first, const ButtonSpec& second,
                     const std::wstring& icon, const std::wstring& title, const std::wstring& text);
// As showMessageBox2, with |onClose| as the action of the box's close button.
void showMessageBoxEx(WindowImplBase* parent, const ButtonSpec& first, const ButtonSpec& second,
                      const std::wstring& icon, const std::wstring& title, const std::wstring& text,
                      std::function<void()> onClose);
// The exit confirmation (one at a time; a newer one replaces an open one).
void showExitBox(WindowImplBase* parent);
