#include "app/download_impl.h"

#include <curl/curl.h>


#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "telemetry/qv_reporter.h"
#include "toolkit/skin_setup.h"
#include "toolkit/core/window_host.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box.h"
#include "ui/ui_actions.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/ufile.h"
#include "utility/system/usystem.h"

bool DownloadImpl::entrance(const wchar_t* commandLine) {
  DownloaderModel& model = DownloaderModel::instance();
  if (model.popupExistPwnd()) {
    common::logPrint("DownloadImpl::entrance", __LINE__, L"It's exist");
    return false;
  }
  common::logPrint("DownloadImpl::entrance", __LINE__, L"path %s", utility::ufile::moduleDir().c_str());
  curl_global_init(CURL_GLOBAL_ALL);
  model.init(commandLine);

  // The toolkit: language, skin folder beside the executable, skin archive and text table.
  const std::wstring locale = model.getLocale();
  toolkit::setCurrentLanguage(locale.empty() ? std::wstring(L"en_US") : locale);
  toolkit::setResourceFolder(utility::ufile::moduleDir() + L"skin");
  toolkit::loadSkinArchive(utility::SkinArchive::kResourceId, L"multi_language.tsv");

  showMainFrame();

  // From here on a second instance can find this one.
  if (!ipc_.create(kInstanceName, this)) {
    // The system's own code: errno on Linux, GetLastError on Windows.
    common::logPrint("DownloadImpl::entrance", __LINE__, L"create ipc window failed, error %d",
                     utility::process::lastError());
  }

  model.reportUiEvent(L"download_run", model.getOpenid());
  QvReporter::instance().report(L"run_downloader");
  return true;
}

namespace {

constexpr int kWindowIcon = 107;

// Closing the main window ends the run through its destruction.
void closeMainWindow() {
  if (CMainFrame* frame = CMainFrame::current(); frame != nullptr && frame->isWindow()) frame->close(1);
}

}  // namespace

void DownloadImpl::showMainFrame() {
  common::logPrint("DownloadImpl::showMainFrame", __LINE__, L"create main");
  CMainFrame* frame = CMainFrame::current();
  if (frame == nullptr) {
    if (created_) return;  // the window was made once and is gone: an instance message came late
    if (toolkit::windowHostFactory() == nullptr) {
      common::logPrint("DownloadImpl::showMainFrame", __LINE__, L"no window system: the main window is not shown");
      return;
    }
    created_ = true;
    frame = new CMainFrame;
    // A broken layout ends the process inside the toolkit; a host that refuses leaves no window.
    if (!frame->create(nullptr)) {
      delete frame;
      return;
    }
    frame->setIcon(kWindowIcon);
    frame->centerWindow();
  }
  if (!frame->isWindow()) return;
  frame->show(toolkit::ShowCommand::kShow);
  frame->bringToTop();
  frame->bringToFront();

  // Systems the emulator cannot run on.
  if (!utility::usystem::isVistaOrLater()) {
    showMessageBox(frame, ButtonSpec{toolkit::langString("sure"), closeMainWindow, true},
                   toolkit::langString("MsgBox_error"), toolkit::langString("MsgBox_xp"));
    return;
  }
  if (utility::usystem::is64BitSystem()) return;
  common::logPrint("DownloadImpl::showMainFrame", __LINE__, L"32 system!!!");
  const int generation = ConfigImp::instance().generation();
  if (generation != 64 && generation != 9) return;
  auto jumpDownload = [] {
    uiactions::openUrl(ConfigImp::internationalPlayerUrl(4));
    closeMainWindow();
  };
  showMessageBox2(frame, ButtonSpec{toolkit::langString("do_exit"), closeMainWindow, false},
                  ButtonSpec{toolkit::langString("jump_download"), jumpDownload, true}, msg::iconImageFor(frame, 0),
                  toolkit::langString("MsgBox_error"), toolkit::langString("MsgBox_32"));
}

int DownloadImpl::onHandleWindowIPC(unsigned message, uintptr_t, intptr_t) {
  common::logPrint("DownloadImpl::onHandleWindowIPC", __LINE__, L"onHandleWindowIPC, msg = %d", message);
  if (message == kShowInstanceMessage) showMainFrame();
  return 0;
}

void DownloadImpl::shutdown() {
  // An exit that only ended the loop leaves the window: out of sight first, gone once the model is.
  CMainFrame* frame = CMainFrame::current();
  if (frame != nullptr) frame->show(toolkit::ShowCommand::kHide);
  // The receiver goes before the model lets the instance lock go: a launch in between would
  // otherwise take the lock, find the receiver's name still taken and run without one.
  ipc_.close();
  bool threadsEnded = QvReporter::instance().stop();
  if (DownloaderModel* model = DownloaderModel::existing()) {
    threadsEnded = model->shutdown() && threadsEnded;
    DownloaderModel::destroy();
  }
  // Its callbacks in the model are gone with the model; the native window goes without messages.
  delete frame;
  // A thread that outlived its limit may still be inside libcurl.
  if (threadsEnded) curl_global_cleanup();
  common::logPrint("DownloadImpl::shutdown", __LINE__, L"shutdown finished");
}
