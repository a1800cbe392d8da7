// The exit confirmation the main window's close button opens: "btnLeft" leaves the installer,
// "btnRight" (and "btnSure") return to it. At most one exists; a newer one replaces an open one.
// It disables its parent while open and gives it back (enabled, raised, shown) when it goes,
// unless the user chose to leave or a newer box took its place. Deletes itself on its final message. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "toolkit/core/window_impl_base.h"

class DownloaderBox : public toolkit::WindowImplBase {
 public:
  DownloaderBox(toolkit::WindowImplBase* parent, std::function<void()> onFinal);
  ~DownloaderBox() override;

  // The box on screen; null when none.
  static DownloaderBox* current();

  std::wstring windowClassName() const override { return L"box"; }
  std::wstring skinFile() const override { return L"downloaderbox.xml"; }
  void notify(std::wstring_view type, toolkit::Control& sender) override;
  // Escape stays, as "btnRight" does.
  bool preFilterKey(const toolkit::InputEvent& event) override;
  void onFinalMessage() override;
  // Staying ("btnRight") is what Enter does; the question is what the box says.
  toolkit::Control* defaultControl() const override { return findControl(L"btnRight"); }
  std::wstring accessibleDescription() const override;

  toolkit::WindowImplBase* parentWindow() const { return parent_; }
  // Remembers |parent| and holds it disabled until the box goes.
  void holdParentWindow(toolkit::WindowImplBase* parent);

 private:
  toolkit::WindowImplBase* parent_;
  std::function<void()> onFinal_;
  bool leaving_ = false;
  bool holdsParent_ = false;
};
