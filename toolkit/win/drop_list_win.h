// A combo's drop list: a list box popup owned by the window, below the combo (above it where
// the work area ends), taking the keyboard while open. A click or Enter chooses, Escape, Tab or
// a click elsewhere closes it without a choice; the answer comes back through |chosen|.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace toolkit::win {

class DropList {
 public:
  // Item |index| was chosen; -1: closed without a choice. Called once per open list, after the
  // list is gone.
  using Chosen = std::function<void(int index)>;

  DropList() = default;
  // Closes an open list without an answer.
  ~DropList();
  DropList(const DropList&) = delete;
  DropList& operator=(const DropList&) = delete;

  // Opens the list (an open one closes first, without an answer) under |anchor| (screen device
  // pixels) with |items|, |selected| highlighted, at least |minWidth| wide and at most
  // |maxHeight| high (0: up to eight rows), its text at |dpi|.
  bool open(HWND owner, const RECT& anchor, const std::vector<std::wstring>& items, int selected,
            int minWidth, int maxHeight, unsigned dpi, Chosen chosen);
  // Closes without an answer.
  void dismiss();
  bool isOpen() const { return list_ != nullptr; }
  HWND window() const { return list_; }

 private:
  static LRESULT CALLBACK listProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Closes the list and then answers (unless told not to).
  void finish(int index, bool answer);

  HWND list_ = nullptr;
  HWND owner_ = nullptr;
  HFONT font_ = nullptr;
  WNDPROC listDefault_ = nullptr;
  Chosen chosen_;
  bool closing_ = false;
};

}  // namespace toolkit::win
