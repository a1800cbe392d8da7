// Close, download error, finish page and web links: how the user leaves the installer in each
// phase, the ways around a failed or slow download, and the events each path reports.
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
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

}  // namespace

void CMainFrame::onCloseClick() {
  if (quitOnClose_) return leave(this);
  if (downloadStartTick_ == 0 || progressPercent_ >= 100) return showExitBox(this);
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

void CMainFrame::onDownloadFail() {
  const ButtonSpec browser{langString("Yes"), [] { uiactions::openUrl(playerAddress()); },
                           true};
  const ButtonSpec no{langString("No"), {}, false};
  showMessageBox2(this, browser, no, msg::iconImageFor(this, 0), langString("MSGBox_noice"),
                  langString("download_error_tip2"));
}

void CMainFrame::setFinishButtonMode(bool failed) {
  startMode_ = !failed;
  if (failed) setText(L"tastenowbtn", langString("reDownload"));
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
