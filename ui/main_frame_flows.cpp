// Close, download error, finish page and web links: how the user leaves the installer in each
// phase, the ways around a failed or slow download, and the events each path reports.
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/downloader_box.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box.h"
#include "ui/ui_actions.h"
#include "utility/base/main_loop.h"

using toolkit::langString;
using toolkit::ShowCommand;

namespace {

// Ends the installer from |frame|: hidden first, then closed and the loop told to end.
void leave(CMainFrame* frame) {
  frame->show(ShowCommand::kHide);
  frame->close(toolkit::kResultOk);
  utility::MainLoop::quit();
}

// The installer's address for the browser. Before the remote document has given one (the model
// is still waiting for it), the address the model falls back to: never an empty one.
std::wstring playerAddress() {
  const std::wstring url = DownloaderModel::instance().getPlayerUrl();
  return url.empty() ? ConfigImp::instance().defaultPlayerUrl() : url;
}

// The one plain sentence that says why a download failed; empty when the cause is not known.
std::wstring failureSentence(net::DownloadFailure cause) {
  switch (cause) {
    case net::DownloadFailure::kNoConnection: return langString("download_fail_connection");
    case net::DownloadFailure::kServerRefused: return langString("download_fail_refused");
    case net::DownloadFailure::kDiskFull: return langString("download_fail_disk");
    case net::DownloadFailure::kFolderNotWritable: return langString("download_fail_folder");
    // The window's sentence for a file that is not the announced one comes with that check.
    case net::DownloadFailure::kIntegrityMismatch:
    case net::DownloadFailure::kUnknown: break;
  }
  return {};
}

}  // namespace

void CMainFrame::onCloseClick() {
  if (quitOnClose_) return leave(this);
  if (downloadStartTick_ == 0) return showExitBox(this);
  if (progressPercent_ >= 100) {
    // The installer is running: leaving does not stop it (ending it half way could leave a
    // broken emulator), and the box says so.
    showExitBox(this);
    if (DownloaderBox* box = DownloaderBox::current()) {
      if (toolkit::Control* text = box->findControl(L"descriptlabel")) text->setText(langString("MsgBox_exit_installing"));
      box->relayout();
    }
    return;
  }
  // The download is running: offer the browser instead of only leaving. Closing the box goes on.
  const ButtonSpec close{langString("download_close"),
                         [this] {
                           uiactions::report(L"cancel_download");
                           leave(this);
                         },
                         false};
  const ButtonSpec browser{langString("downloadBybrowser"),
                           [this] {
                             uiactions::openUrl(playerAddress());
                             uiactions::report(L"cancel_download");
                             leave(this);
                           },
                           true};
  showMessageBox2(this, close, browser, msg::iconImageFor(this, 0), langString("MSGBox_noice"),
                  langString("download_slowtip"));
}

void CMainFrame::onDownloadFail(net::DownloadFailure cause) {
  // Whatever the answer, the window goes back to the install button: the download has ended,
  // and a click there starts a fresh one.
  resetAfterFailedDownload();
  const ButtonSpec browser{langString("Yes"), [] { uiactions::openUrl(playerAddress()); }, true};
  const ButtonSpec no{langString("No"), {}, false};
  std::wstring text = failureSentence(cause);
  if (!text.empty()) text += L" ";
  text += langString("download_error_tip2");
  showMessageBoxEx(this, browser, no, msg::iconImageFor(this, 0), langString("MSGBox_noice"), text, {});
}

void CMainFrame::resetAfterFailedDownload() {
  downloadStartTick_ = 0;
  progressPercent_ = 0;
  setProgress(L"installprogressbar", 0);
  setText(L"loadingprogresslabel", langString("progress_downloading_label"));
  setText(L"downloadProgressLabel", L"");
  setVisible(L"downloadProgressLabel", true);
  rateLine_.stop();
  setVisible(L"languageCombo", true);
  selectTab(kChoosePage);
}

void CMainFrame::onInstallerStillRunning() {
  installerStillRunning_ = true;
  showMessageBox(this, ButtonSpec{langString("confirm"), nullptr, true}, langString("MSGBox_noice"),
                 langString("install_still_running"));
}

void CMainFrame::setFinishButtonMode(bool failed) {
  startMode_ = !failed;
  if (!failed) return;
  setText(L"tastenowbtn", langString("reDownload"));
  // The page tells the outcome: not a success mark over a failed installation.
  setText(L"finishResultLabel", langString(installerStillRunning_ ? "install_not_finished" : "error"));
  if (toolkit::Control* icon = findControl(L"finishResultIcon")) {
    icon->setAttribute(L"bkimage", L"file='common/msg_noice48.png'");
  }
  relayout();
}

void CMainFrame::onFinishButtonClick() {
  if (startMode_) {
    uiactions::runPlayerWithPackage();
    show(ShowCommand::kHide);
    utility::MainLoop::quit();
    return;
  }
  uiactions::openUrl(ConfigImp::instance().homePageUrl());
  show(ShowCommand::kHide);
  uiactions::sendUiEvent(L"installByHomePage3.0", L"error");
  utility::MainLoop::quit();
}

void CMainFrame::openLicencePage() { uiactions::openUrl(ConfigImp::instance().licenceUrl()); }

void CMainFrame::openCommunityPage() { uiactions::openUrl(ConfigImp::instance().communityUrl()); }

void CMainFrame::openHomePage() {
  uiactions::openUrl(ConfigImp::instance().homePageUrl());
  uiactions::reportUiEvent(L"Download_googleDriver", L"downloadingPage");
}
