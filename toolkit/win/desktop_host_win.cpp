// The Win32 desktop: the process's host factory. It makes one window class per toolkit window
// class, the windows' hosts, the nested loops of modal boxes, the folder chooser and the
// broken-layout box.
#include <windows.h>

#include <cstdio>
#include <utility>

#include "toolkit/win/dpi_win.h"
#include "toolkit/win/folder_chooser_win.h"
#include "toolkit/win/text_scale_win.h"
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
  // Only the classes this desktop registered: another one's stay.
  for (const auto& [name, own] : classes_) {
    if (own) UnregisterClassW(name.c_str(), GetModuleHandleW(nullptr));
  }
}

double WinDesktop::textScale() const { return desktopTextScale(); }

const wchar_t* WinDesktop::windowClass(const std::wstring& name) {
  const std::wstring className = name.empty() ? std::wstring(L"TarnwickWindow") : name;
  auto found = classes_.find(className);
  if (found != classes_.end()) return found->first.c_str();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &WinWindowHost::procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className.c_str();
  // No cursor of the class: the window sets the one its hot control asks for.
  const bool registered = RegisterClassExW(&windowClass) != 0;
  if (!registered && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  return classes_.emplace(className, registered).first->first.c_str();
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
  win::makeProcessDpiAware();
  // Windows need a desktop to be made on (a service's station has none; nor has Wine without an
  // X server): a hidden window made and gone says whether there is one.
  HWND probe = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return nullptr;
  DestroyWindow(probe);
  return std::make_unique<win::WinDesktop>(measurer, std::move(painter), std::move(files));
}

void setSessionEndHandler(std::function<void()> end) { win::sessionEnd() = std::move(end); }

}  // namespace toolkit
