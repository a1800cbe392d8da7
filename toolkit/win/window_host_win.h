// The Win32 host's window and desktop, shared by the files of this folder: the host of one
// toolkit window (window_host_win.cpp: operations; window_class_win.cpp: the window procedure)
// and the process's factory (desktop_host_win.cpp).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "toolkit/core/window_host.h"
#include "toolkit/core/window_impl_base.h"
#include "toolkit/win/desktop_host_win.h"
#include "toolkit/win/drop_list_win.h"
#include "toolkit/win/keys_win.h"
#include "toolkit/win/layered_surface_win.h"
#include "toolkit/win/tool_tip_win.h"

namespace toolkit::win {

class WinDesktop;

class WinWindowHost : public WindowHost {
 public:
  WinWindowHost(WinDesktop& desktop, WindowImplBase& window, WinWindowHost* owner,
                const WindowStyle& style, Size clientSize);
  // Destroys the native window without a message reaching the toolkit window.
  ~WinWindowHost() override;
  WinWindowHost(const WinWindowHost&) = delete;
  WinWindowHost& operator=(const WinWindowHost&) = delete;

  bool created() const { return hwnd_ != nullptr; }
  HWND hwnd() const { return hwnd_; }

  // ---- WindowHost ----
  void setTitle(std::wstring_view title) override;
  void setIcon(int resourceId) override;
  void show(ShowCommand command) override;
  bool isVisible() const override;
  // What the system says (IsIconic): a restore from the task bar counts at once.
  bool isMinimized() const override;
  void bringToTop() override;
  void bringToFront() override;
  void setTopmost(bool topmost) override;
  void setEnabled(bool enabled) override;
  // In layout pixels: screen coordinates divided by the scale factor.
  Rect frame() const override;
  void setFrame(const Rect& frame) override;
  Rect workArea() const override;
  void invalidate(const Rect& area) override;
  bool startTimer(uint32_t id, uint32_t periodMs) override;
  void stopTimer(uint32_t id) override;
  std::wstring clipboardText() override;
  void setClipboardText(std::wstring_view text) override;
  void openDropList(Combo& combo) override;
  void setToolTip(std::wstring_view text) override;
  void setCursor(Cursor cursor) override;
  int scaleFactor() const override { return scale_; }

  // The window procedure's work (window_class_win.cpp).
  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The procedure of every window class the host registers.
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // Delivers to the toolkit window; false when the host went meanwhile (the window closed).
  bool deliver(const WindowMessage& message);
  bool deliverInput(const InputEvent& event);
  // Client device pixels to layout pixels.
  Point toLayout(int x, int y) const;
  // Paints what is invalid into the surface and shows it.
  void paint();
  void scheduleRepaint();
  // Device size of the client area from the system; the layout size follows it.
  void clientResized(int deviceWidth, int deviceHeight);
  void dpiChanged(unsigned dpi, const RECT* suggested);
  LRESULT hitTest(LPARAM lParam);
  bool keyDown(WPARAM vk, LPARAM lParam, bool system);
  void characters(wchar_t unit);
  void pointer(InputType type, WPARAM wParam, LPARAM lParam);
  void updateInputMethod();
  // The input method's composition window at the focused edit's caret.
  void placeComposition();

  WinDesktop& desktop_;
  WindowImplBase& window_;
  WindowStyle style_;
  HWND hwnd_ = nullptr;
  // Cleared when the host goes, so that code after a delivery knows whether it may go on.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  Size size_;  // client, layout pixels
  unsigned dpi_ = 96;
  int scale_ = 1;
  LayeredSurface surface_;
  Rect dirty_;  // layout pixels; empty: nothing to paint
  bool repaintPosted_ = false;
  bool painted_ = false;
  std::set<uint32_t> timers_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  Cursor cursor_ = Cursor::kArrow;
  bool trackingLeave_ = false;
  int wheelRemainder_ = 0;
  CharacterJoiner characters_;
  bool inputMethodOn_ = true;
  DropList dropList_;
  ToolTip toolTip_;
};

class WinDesktop : public WindowHostFactory {
 public:
  WinDesktop(const TextMeasurer& measurer, GdiPaintHook painter, LayoutFileReader files);
  ~WinDesktop() override;
  WinDesktop(const WinDesktop&) = delete;
  WinDesktop& operator=(const WinDesktop&) = delete;

  std::unique_ptr<WindowHost> createHost(WindowImplBase& window, WindowHost* owner,
                                         const WindowStyle& style, Size clientSize) override;
  const TextMeasurer& measurer() const override { return measurer_; }
  LayoutFileReader layoutFiles() const override { return files_; }
  double textScale() const override;
  // Pumps the thread's messages until |done|; a quit of the main loop ends it too (the quit
  // stays for the main loop).
  void runModalLoop(const std::function<bool()>& done) override;
  void brokenLayout(const LoadError& error) override;
  std::optional<std::string> chooseFolder(WindowHost* owner, std::wstring_view title,
                                          const std::string& startFolder) override;

  const GdiPaintHook& painter() const { return painter_; }
  // The window class for a toolkit class name, registered on first use.
  const wchar_t* windowClass(const std::wstring& name);
  // The session ends: the handler of setSessionEndHandler, else the main loop's quit; once.
  void endSession();

 private:
  const TextMeasurer& measurer_;
  GdiPaintHook painter_;
  LayoutFileReader files_;
  WindowHostFactory* previous_;
  std::map<std::wstring, bool> classes_;  // name, registered by this desktop
  bool sessionEnded_ = false;
};

}  // namespace toolkit::win
