// How the user leaves the main window in each phase, the download error box, the finish-page
// button in both modes and the web links, with the events and addresses each path gives.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/ui/box_test_support.h"
#include "tests/ui/main_frame_fixture.h"
#include "ui/downloader_box.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box_window.h"
#include "ui/ui_actions.h"

// The campaign's apps of the process's model, as the remote document would give them.
class DownloaderModelTest {
 public:
  static void setApps(std::vector<AppInfo> apps) { DownloaderModel::instance().apps_ = std::move(apps); }
};

namespace {

using toolkit::HeadlessWindow;

class FlowsTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    uiactions::setForTesting(uiactions::Actions{
        .sendUiEvent = [this](const std::wstring& n, const std::wstring& l) { log.push_back(L"send " + n + L" " + l); },
        .reportUiEvent = [this](const std::wstring& n, const std::wstring& l) { log.push_back(L"queue " + n + L" " + l); },
        .report = [this](const wchar_t* key) { log.push_back(std::wstring(L"report ") + key); },
        .openUrl = [this](const std::wstring& address) { log.push_back(L"open " + address); return 42; },
        .runPlayerWithPackage = [this] { log.push_back(L"run player"); }});
    DownloaderModel::instance().setPlayerUrl(kPlayerUrl);
  }
  void TearDown() override {
    MainFrameTest::TearDown();
    uiactions::setForTesting({});
  }

  HeadlessWindow* box() const { return desktop.find(L"MessageBoxWindow"); }
  // Clicks the box's button with the text of |key|.
  static bool clickButton(HeadlessWindow& window, const char* key) {
    return uitest::clickBoxButton(window, toolkit::langString(key));
  }

  static constexpr const wchar_t* kPlayerUrl = L"https://downloads.test/player.exe";
  std::vector<std::wstring> log;
};

TEST_F(FlowsTest, CloseBeforeTheDownloadOrDuringTheInstallationAsksWithTheExitBox) {
  for (int percent : {0, 100}) {
    SCOPED_TRACE(percent);
    frame->setPhaseForTesting(percent == 0 ? 0 : 1234, percent, false);
    ASSERT_TRUE(host->click(L"closebtn"));
    HeadlessWindow* exit = desktop.find(L"box");
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(box(), nullptr);
    // During the installation leaving does not stop the installer, and the box says so.
    EXPECT_EQ(exit->window().findControl(L"descriptlabel")->text(),
              toolkit::langString(percent == 0 ? "MsgBox_exit" : "MsgBox_exit_installing"));
    EXPECT_FALSE(host->enabled());
    // "No" returns to the window unchanged.
    ASSERT_TRUE(exit->click(L"btnRight"));
    drain();
    EXPECT_EQ(desktop.find(L"box"), nullptr);
    EXPECT_TRUE(host->enabled());
    EXPECT_TRUE(host->isVisible());
    EXPECT_FALSE(utility::MainLoop::quitRequested());
    EXPECT_TRUE(log.empty());
  }
}

TEST_F(FlowsTest, CloseDuringTheDownloadOffersTheBrowser) {
  struct Case {
    const char* button;
    std::vector<std::wstring> log;
  };
  const std::vector<Case> cases = {
      {"download_close", {L"report cancel_download"}},
      {"downloadBybrowser", {std::wstring(L"open ") + kPlayerUrl, L"report cancel_download"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    TearDown();
    log.clear();
    SetUp();
    frame->setPhaseForTesting(1234, 50, false);
    ASSERT_TRUE(host->click(L"closebtn"));
    ASSERT_NE(box(), nullptr);
    EXPECT_EQ(desktop.find(L"box"), nullptr);
    EXPECT_EQ(box()->window().findControl(L"descriptlabel")->text(), toolkit::langString("download_slowtip"));
    EXPECT_EQ(box()->window().findControl(L"titlelabel")->text(), toolkit::langString("MSGBox_noice"));
    ASSERT_TRUE(clickButton(*box(), c.button));
    EXPECT_EQ(log, c.log);
    EXPECT_TRUE(utility::MainLoop::quitRequested());
    drain();
    EXPECT_TRUE(frameGone());
  }
}

TEST_F(FlowsTest, ClosingTheSlowDownloadBoxGoesOn) {
  frame->setPhaseForTesting(1234, 50, false);
  ASSERT_TRUE(host->click(L"closebtn"));
  ASSERT_TRUE(box()->click(L"closebtn"));
  drain();
  EXPECT_EQ(box(), nullptr);
  EXPECT_FALSE(frameGone());
  EXPECT_TRUE(host->enabled());
  EXPECT_FALSE(utility::MainLoop::quitRequested());
  EXPECT_TRUE(log.empty());
}

TEST_F(FlowsTest, CloseOnTheFinishPageEndsAtOnce) {
  frame->setPhaseForTesting(1234, 100, true);
  ASSERT_TRUE(host->click(L"closebtn"));
  EXPECT_FALSE(host->isVisible());
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  EXPECT_EQ(desktop.find(L"box"), nullptr);
  drain();
  EXPECT_TRUE(frameGone());
  EXPECT_TRUE(log.empty());
}

// However the error box is answered, the window is back at the install button with true texts,
// and the close button no longer speaks of a running download.
TEST_F(FlowsTest, AFailedDownloadReturnsToTheInstallButton) {
  using net::DownloadFailure;
  struct Cause {
    DownloadFailure cause;
    const char* sentence;  // nullptr: not known, the question alone
  };
  const Cause causes[] = {{DownloadFailure::kUnknown, nullptr},
                          {DownloadFailure::kNoConnection, "download_fail_connection"},
                          {DownloadFailure::kServerRefused, "download_fail_refused"},
                          {DownloadFailure::kDiskFull, "download_fail_disk"},
                          {DownloadFailure::kFolderNotWritable, "download_fail_folder"}};
  for (const char* answer : {"Yes", "No", "closebtn"}) {
    for (const Cause& c : causes) {
      SCOPED_TRACE(std::string(answer) + " " + (c.sentence != nullptr ? c.sentence : "unknown"));
      log.clear();
      frame->selectTab(CMainFrame::kProgressPage);
      frame->setPhaseForTesting(1234, 42, false);
      frame->onDownloadFail(c.cause);
      ASSERT_NE(box(), nullptr);
      const std::wstring question = toolkit::langString("download_error_tip2");
      const std::wstring expected =
          c.sentence != nullptr ? toolkit::langString(c.sentence) + L" " + question : question;
      EXPECT_EQ(box()->window().findControl(L"descriptlabel")->text(), expected);
      EXPECT_TRUE(box()->window().findControl(L"msgiconimage")->visible());
      if (std::string(answer) == "closebtn") {
        ASSERT_TRUE(box()->click(L"closebtn"));
      } else {
        ASSERT_TRUE(clickButton(*box(), answer));
      }
      drain();
      EXPECT_EQ(box(), nullptr);
      EXPECT_FALSE(frameGone());
      EXPECT_TRUE(host->enabled());
      EXPECT_FALSE(utility::MainLoop::quitRequested());
      EXPECT_EQ(log, std::string(answer) == "Yes" ? std::vector<std::wstring>{std::wstring(L"open ") + kPlayerUrl}
                                                   : std::vector<std::wstring>{});
      EXPECT_EQ(frame->findControl<toolkit::TabLayout>(L"maintab")->selectedIndex(), CMainFrame::kChoosePage);
      EXPECT_TRUE(frame->findControl(L"installnowbtn")->visible());
      EXPECT_EQ(frame->downloadStartTick(), 0u);
      EXPECT_EQ(frame->progressPercent(), 0);
      EXPECT_EQ(progress(L"installprogressbar"), 0);
      EXPECT_EQ(text(L"loadingprogresslabel"), toolkit::langString("progress_downloading_label"));
      // Closing now asks the plain exit question, not "the download is still running".
      ASSERT_TRUE(host->click(L"closebtn"));
      EXPECT_EQ(box(), nullptr);
      HeadlessWindow* exit = desktop.find(L"box");
      ASSERT_NE(exit, nullptr);
      EXPECT_EQ(exit->window().findControl(L"descriptlabel")->text(), toolkit::langString("MsgBox_exit"));
      ASSERT_TRUE(exit->click(L"btnRight"));
      drain();
    }
  }
}

// An installation that did not leave an emulator: the finish page in its failed mode, never a
// success mark, no app installed and nothing started; a hung installer is named as such.
TEST_F(FlowsTest, AFailedInstallationShowsTheFailedFinishPage) {
  struct Case {
    const char* label;
    bool stillRunning;
    const char* finishText;
  };
  const Case cases[] = {{"installer failed", false, "error"},
                        {"installer still running at the limit", true, "install_not_finished"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TearDown();
    log.clear();
    SetUp();
    // A campaign app and a package would otherwise be installed into, or started from, nothing.
    AppInfo app;
    app.url = L"https://apps.test/demo.apk";
    app.package = L"com.demo";
    app.name = L"Demo";
    DownloaderModelTest::setApps({app});
    frame->selectTab(CMainFrame::kProgressPage);
    frame->setPhaseForTesting(1234, 100, false);
    if (c.stillRunning) frame->onInstallerStillRunning();
    frame->onInstallFinished(false);
    drain();
    EXPECT_EQ(frame->findControl<toolkit::TabLayout>(L"maintab")->selectedIndex(), CMainFrame::kFinishPage);
    EXPECT_FALSE(frame->startMode());
    EXPECT_EQ(text(L"finishResultLabel"), toolkit::langString(c.finishText));
    EXPECT_EQ(text(L"tastenowbtn"), toolkit::langString("reDownload"));
    EXPECT_EQ(control(L"finishResultIcon").bkImage().file, L"common/msg_noice48.png");
    EXPECT_EQ(box() != nullptr, c.stillRunning);
    if (c.stillRunning) {
      EXPECT_EQ(box()->window().findControl(L"descriptlabel")->text(), toolkit::langString("install_still_running"));
    }
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(utility::MainLoop::quitRequested());
    DownloaderModelTest::setApps({});
  }
}

TEST_F(FlowsTest, BrowserButtonsNeverOpenAnEmptyAddress) {
  // The download was started before the remote document gave the installer's address.
  DownloaderModel::instance().setPlayerUrl(L"");
  const std::wstring fallback = L"open " + ConfigImp::instance().defaultPlayerUrl();
  frame->onDownloadFail();
  ASSERT_TRUE(clickButton(*box(), "Yes"));
  drain();
  EXPECT_EQ(log, std::vector<std::wstring>{fallback});
  log.clear();
  frame->setPhaseForTesting(1234, 0, false);
  ASSERT_TRUE(host->click(L"closebtn"));
  ASSERT_TRUE(clickButton(*box(), "downloadBybrowser"));
  EXPECT_EQ(log, (std::vector<std::wstring>{fallback, L"report cancel_download"}));
}

TEST_F(FlowsTest, FinishButtonStartsThePlayerOrOpensTheHomePage) {
  const std::wstring startText = frame->findControl(L"tastenowbtn")->text();
  frame->setFinishButtonMode(false);
  EXPECT_TRUE(frame->startMode());
  EXPECT_EQ(frame->findControl(L"tastenowbtn")->text(), startText);
  frame->onFinishButtonClick();
  EXPECT_EQ(log, std::vector<std::wstring>{L"run player"});
  EXPECT_FALSE(host->isVisible());
  EXPECT_TRUE(utility::MainLoop::quitRequested());

  utility::MainLoop::resetForTesting();
  log.clear();
  frame->show(toolkit::ShowCommand::kShow);
  frame->setFinishButtonMode(true);
  EXPECT_FALSE(frame->startMode());
  EXPECT_EQ(frame->findControl(L"tastenowbtn")->text(), toolkit::langString("reDownload"));
  frame->onFinishButtonClick();
  EXPECT_EQ(log, (std::vector<std::wstring>{L"open " + ConfigImp::instance().homePageUrl(),
                                            L"send installByHomePage3.0 error"}));
  EXPECT_FALSE(host->isVisible());
  EXPECT_TRUE(utility::MainLoop::quitRequested());
}

TEST_F(FlowsTest, LinksOpenTheirAddresses) {
  const ConfigImp& config = ConfigImp::instance();
  struct Case {
    std::function<void()> click;
    std::vector<std::wstring> log;
  };
  const std::vector<Case> cases = {
      {[&] { frame->openLicencePage(); }, {L"open " + config.licenceUrl()}},
      {[&] { frame->openCommunityPage(); }, {L"open " + config.communityUrl()}},
      {[&] { frame->openHomePage(); }, {L"open " + config.homePageUrl(), L"queue Download_googleDriver downloadingPage"}},
  };
  for (const Case& c : cases) {
    log.clear();
    c.click();
    EXPECT_EQ(log, c.log);
  }
  EXPECT_TRUE(config.licenceUrl().ends_with(L"/other/protocol.html"));
  // The licence link of the first page is wired to the same.
  log.clear();
  ASSERT_TRUE(host->click(L"protocollinkbtn"));
  EXPECT_EQ(log, std::vector<std::wstring>{L"open " + config.licenceUrl()});
}

}  // namespace
