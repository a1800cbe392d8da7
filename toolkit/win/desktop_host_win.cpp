// The Win32 desktop: the process's host factory. It makes one window class per toolkit window
// class, the windows' hosts, the nested loops of modal boxes, the folder chooser and the
// broken-layout box.
#include <windows.h>

#include <cstdio>
#include <utility>

#include "toolkit/win/dpi_win.h"
#include "toolkit/win/folder_chooser_win.h"
#include "toolkit/win/window_host_win.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"

namespace toolkit {
namespace win {
namespace {

std::function<void()>& sessionEnd() {
  static std::function<void()> handler;
  return handler;
}

}  // namespace

void WinDesktop::endSession() {
  // Every window hears of it; the end runs once.
  if (sessionEnded_) return;
  sessionEnded_ = true;
  if (sessionEnd()) {
    sessionEnd()();
  } else {
    utility::MainLoop::quit();
  }
}

WinDesktop::WinDesktop(const TextMeasurer& measurer, GdiPaintHook painter, LayoutFileReader files)
    : measurer_(measurer), painter_(std::move(painter)), files_(std::move(files)),
      previous_(windowHostFactory()) {
  setWindowHostFactory(this);
}

WinDesktop::~WinDesktop() {
  if (windowHostFactory() == this) setWindowHostFactory(previous_);
  for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), GetModuleHandleW(nullptr));
}

const wchar_t* WinDesktop::windowClass(const std::wstring& name) {
  const std::wstring className = name.empty() ? std::wstring(L"TarnwickWindow") : name;
  auto found = classes_.find(className);
  if (found != classes_.end()) return found->c_str();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &WinWindowHost::procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className.c_str();
  // No cursor of the class: the window sets the one its hot control asks for.
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  return classes_.insert(className).first->c_str();
}

std::unique_ptr<WindowHost> WinDesktop::createHost(WindowImplBase& window, WindowHost* owner,
                                                   const WindowStyle& style, Size clientSize) {
  auto host = std::make_unique<WinWindowHost>(*this, window, static_cast<WinWindowHost*>(owner), style,
                                              clientSize);
  if (!host->created()) return nullptr;
  return host;
}

void WinDesktop::runModalLoop(const std::function<bool()>& done) {
  while (!done() && !utility::MainLoop::quitRequested()) {
    // Waits for the next message only when nothing is pending.
    if (!utility::MainLoop::iterate()) WaitMessage();
  }
}

void WinDesktop::brokenLayout(const LoadError& error) {
  const std::wstring text = error.text();
  std::fprintf(stderr, "Duilib: %s\n", utility::wideToUtf8(text).c_str());
  std::fflush(stderr);
  MessageBoxW(nullptr, text.c_str(), L"Duilib", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  // At once, as on a broken skin: nothing else runs.
  ExitProcess(1);
}

std::optional<std::string> WinDesktop::chooseFolder(WindowHost* owner, std::wstring_view title,
                                                    const std::string& startFolder) {
  HWND parent = owner != nullptr ? static_cast<WinWindowHost*>(owner)->hwnd() : nullptr;
  return chooseFolderModal(parent, title, startFolder);
}

}  // namespace win

std::unique_ptr<WindowHostFactory> createDesktopHost(const TextMeasurer& measurer, GdiPaintHook painter,
                                                     LayoutFileReader files) {
  // Windows need the interactive desktop: a service's or a locked-down station's has none.
  if (GetProcessWindowStation() == nullptr || GetDesktopWindow() == nullptr) return nullptr;
  win::makeProcessDpiAware();
  return std::make_unique<win::WinDesktop>(measurer, std::move(painter), std::move(files));
}

void setSessionEndHandler(std::function<void()> end) { win::sessionEnd() = std::move(end); }

}  // namespace toolkit
