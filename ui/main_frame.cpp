#include "ui/main_frame.h"

#include <cstdio>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/msg/message_box.h"
#include "ui/ui_actions.h"
#include "utility/base/clock.h"
#include "utility/base/main_loop.h"
#include "utility/base/wformat.h"
#include "utility/system/disk.h"

using namespace toolkit;

namespace {

constexpr const wchar_t* kFace = L"微软雅黑";
constexpr double kNeededFreeMiB = 1024.0;

// The one-button error box of a refused start.
void showStartError(CMainFrame* frame, const char* textKey) {
  showMessageBox(frame, ButtonSpec{langString("confirm"), nullptr, true}, langString("MsgBox_error"),
                 langString(textKey));
}

}  // namespace

namespace {
CMainFrame* gCurrent = nullptr;
}  // namespace

CMainFrame* CMainFrame::current() { return gCurrent; }

CMainFrame::CMainFrame() { gCurrent = this; }

CMainFrame::~CMainFrame() {
  if (gCurrent == this) gCurrent = nullptr;
  // The app job reaches this object; it must be gone before the fields are.
  appJob_.reset();
}

void CMainFrame::initWindow() {
  FontDescription base;
  base.face = kFace;
  base.size = 12;
  setDefaultFont(base);
  for (int id = 0; id <= 6; ++id) {
    FontDescription font = base;
    font.id = id;
    font.size = 12 + 2 * id;
    addFont(font);
  }
  refreshInstallPage();
  setTitle(langString("Title_wndTitle"));
  DownloaderModel& model = DownloaderModel::instance();
  setText(L"pathedit", model.getInstallPath());

  model.onDownloadProgress = [this](int percent, int64_t received, int64_t total) {
    onDownloadProgress(percent, received, total);
  };
  model.onCurlProgress = [this](int percent) { onCurlProgress(percent); };
  model.onCurlTransfer = [this](int64_t received, int64_t total) { onCurlTransfer(received, total); };
  model.onDownloadSuccess = [this] { onDownloadSuccess(); };
  model.onDownloadFail = [this](net::DownloadFailure cause) { onDownloadFail(cause); };
  model.onInstallFinished = [this](bool ok) { onInstallFinished(ok); };
  model.onInstallerStillRunning = [this] { onInstallerStillRunning(); };

  const bool generation9 = ConfigImp::instance().generation() == 9;
  setVisible(L"logoControl9", generation9);
  setVisible(L"logoControl", !generation9);
  if (Control* home = findControl(L"homepageBtn")) {
    home->setTextColor(0xFFFFFFFF);
    home->setText(ConfigImp::instance().homePageUrl());
  }
  wchar_t link[256];
  std::swprintf(link, 256, L"<u>%ls</u>", langString("protocol_accept_btn").c_str());
  setText(L"protocollinkbtn", link);
  repaint();
  focusPagePrimary();
}

void CMainFrame::notify(std::wstring_view type, Control& sender) {
  const std::wstring_view name = sender.name();
  if (type == L"click") {
    if (name == L"installnowbtn") return onInstallClick();
    if (name == L"userdefinitionBtn") return showCustomPath(true);
    if (name == L"backBtn") return showCustomPath(false);
    if (name == L"browsebtn") return onBrowseClick();
    if (name == L"protocollinkbtn" || name == L"confirmprotocolbtn") return openLicencePage();
    if (name == L"joinfacebookBtn") return openCommunityPage();
    if (name == L"closebtn") return onCloseClick();
    if (name == L"homepageBtn") return openHomePage();
    if (name == L"tastenowbtn") return onFinishButtonClick();
  } else if ((type == L"killfocus" || type == L"return") && name == L"pathedit") {
    // Enter applies the folder as leaving the edit does.
    return changePathClac(true, sender.text());
  } else if (type == L"selectchanged" && name == L"acceptprotocolopt") {
    return refreshInstallPage();
  } else if (type == L"itemselect" && name == L"languageCombo") {
    return onLanguageComSelected(sender);
  }
  WindowImplBase::notify(type, sender);
}

bool CMainFrame::handleMessage(const WindowMessage& message) {
  if (message.type == MessageType::kTimer && message.timerId == kApkInstallTimerId) onApkInstallTick();
  if (message.type == MessageType::kDestroy) onDestroy();
  // The window manager's close asks what the close button asks, in every phase.
  if (message.type == MessageType::kCloseRequest) {
    if (isEnabled()) onCloseClick();
    return true;
  }
  return WindowImplBase::handleMessage(message);
}

void CMainFrame::onFinalMessage() {
  WindowImplBase::onFinalMessage();
  delete this;
  utility::MainLoop::quit();
}

void CMainFrame::selectTab(int index) {
  if (auto* tab = findControl<TabLayout>(L"maintab")) tab->selectItem(index);
  showCustomPath(!isVisible(L"userdefinitionBtn"));
  focusPagePrimary();
}

void CMainFrame::focusPagePrimary() {
  const auto* tab = findControl<TabLayout>(L"maintab");
  const int page = tab != nullptr ? tab->selectedIndex() : kChoosePage;
  const wchar_t* primary = page == kChoosePage    ? L"installnowbtn"
                           : page == kLicencePage ? L"confirmprotocolbtn"
                           : page == kFinishPage  ? L"tastenowbtn"
                                                  : nullptr;
  relayout();
  Control* control = primary != nullptr ? findControl(primary) : nullptr;
  // A page without one (the progress pages) keeps no focus on a control it hides.
  if (control != nullptr && control->takesInput()) {
    input().setFocus(control);
  } else if (input().focused() != nullptr && !input().focused()->takesInput()) {
    input().setFocus(nullptr);
  }
}

void CMainFrame::showCustomPath(bool custom) {
  setVisible(L"userdefinitionsui", custom);
  setVisible(L"userdefinitionLayout", !custom);
  setVisible(L"backLayout", custom);
  setText(L"installnowbtn", langString(custom ? "Button_install_now" : "Button_install_fast"));
}

void CMainFrame::onInstallClick() {
  if (!checkBeforeInstall()) return;
  selectTab(kProgressPage);
  setVisible(L"languageCombo", false);
  downloadStartTick_ = utility::tickCount();
  DownloaderModel::instance().startDownloadPlayer();
  uiactions::report(L"start_downloader");
}

bool CMainFrame::checkBeforeInstall() {
  auto* accept = findControl<Option>(L"acceptprotocolopt");
  if (accept == nullptr || !accept->selected()) {
    showStartError(this, "MsgBox_accept_protocol");
    return false;
  }
  const std::wstring path = DownloaderModel::instance().getInstallPath();
  if (!helper::disk::isValidInstallPath(path)) {
    showStartError(this, "MsgBox_error_path");
    return false;
  }
  if (helper::disk::freeSpaceMiB(path) < kNeededFreeMiB) {
    showStartError(this, "MsgBox_disk_notEnough");
    return false;
  }
  return true;
}

void CMainFrame::onInstallFinished(bool ok) {
  installTimer_.stop();
  if (ok) setProgress(L"installprogressbar", 100);
  DownloaderModel& model = DownloaderModel::instance();
  // Without an emulator there is nothing to install apps into or to start.
  if (ok && !model.getApps().empty()) return dispatchApps();
  if (ok && !model.getPackage().empty()) {
    uiactions::runPlayerWithPackage();
    utility::MainLoop::quit();
    return;
  }
  setFinishButtonMode(!ok);
  selectTab(kFinishPage);
  quitOnClose_ = true;
}

void CMainFrame::onDestroy() {
  if (apkTimerId_ != 0) {
    killTimer(apkTimerId_);
    apkTimerId_ = 0;
  }
  DownloaderModel& model = DownloaderModel::instance();
  model.shutdown();
  DownloaderModel::destroy();
  taskPoster_.cancel();
  if (appJob_) appJob_->detach();
  installTimer_.stop();
}

// ---- Controls ----

void CMainFrame::setText(std::wstring_view name, const std::wstring& text) {
  if (Control* control = findControl(name); control != nullptr && control->text() != text) {
    control->setText(text);
    repaint();
  }
}

void CMainFrame::setVisible(std::wstring_view name, bool visible) {
  if (Control* control = findControl(name); control != nullptr && control->visible() != visible) {
    control->setVisible(visible);
    repaint();
  }
}

void CMainFrame::setEnabled(std::wstring_view name, bool enabled) {
  if (Control* control = findControl(name); control != nullptr && control->enabled() != enabled) {
    control->setEnabled(enabled);
    repaint();
  }
}

void CMainFrame::setProgress(std::wstring_view name, int value) {
  if (auto* bar = findControl<Progress>(name); bar != nullptr && bar->value() != value) {
    bar->setValue(value);
    repaint();
  }
}

bool CMainFrame::isVisible(std::wstring_view name) const {
  // Shown only when every container around it is shown too (as "userdefinitionBtn" is hidden
  // with its row).
  const Control* control = findControl(name);
  if (control == nullptr) return false;
  for (; control != nullptr; control = control->parent()) {
    if (!control->visible()) return false;
  }
  return true;
}

void CMainFrame::repaint() {
  relayout();
  if (host() != nullptr) host()->invalidate(Rect{0, 0, clientSize().width, clientSize().height});
}
