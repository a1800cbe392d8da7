// The application object: start-up, single instance hand-over and the orderly end.
#pragma once

#include <cstdint>
#include <string>

#include "utility/system/window_ipc.h"

class DownloadImpl : public utility::IWindowIPCHandle {
 public:
  DownloadImpl() = default;

  // True when this process is the installer that runs; false when another instance already
  // runs and has been asked to show itself.
  bool entrance(const wchar_t* commandLine);
  void shutdown();

  int onHandleWindowIPC(unsigned message, uintptr_t wParam, intptr_t lParam) override;
  void showMainFrame();

 private:
  friend class DownloadImplTest;
  utility::WindowIPC ipc_;
  bool created_ = false;  // the main window was made (it may be gone since)
};
