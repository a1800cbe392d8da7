// A window's tool tip: one tracking tool tip of the common controls, shown beside the pointer
// while the toolkit names a text and hidden when it names none.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace toolkit::win {

class ToolTip {
 public:
  ToolTip() = default;
  ~ToolTip();
  ToolTip(const ToolTip&) = delete;
  ToolTip& operator=(const ToolTip&) = delete;

  // Shows |text| for |owner| at the pointer; empty hides it.
  void show(HWND owner, std::wstring_view text);
  HWND window() const { return tip_; }
  const std::wstring& text() const { return text_; }

 private:
  bool make(HWND owner);
  // The one tool of the tip (a TTTOOLINFOW), filled in |info|.
  void tool(HWND owner, void* info);

  HWND tip_ = nullptr;
  std::wstring text_;
};

}  // namespace toolkit::win
