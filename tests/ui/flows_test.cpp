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

TEST_F(FlowsTest, DownloadErrorBoxOffersTheBrowserAndStaysOnTheProgressPage) {
  for (const char* button : {"Yes", "No"}) {
    SCOPED_TRACE(button);
    log.clear();
    frame->onDownloadFail();
    ASSERT_NE(box(), nullptr);
    EXPECT_EQ(box()->window().findControl(L"descriptlabel")->text(), toolkit::langString("download_error_tip2"));
    EXPECT_TRUE(box()->window().findControl(L"msgiconimage")->visible());
    ASSERT_TRUE(clickButton(*box(), button));
    drain();
    EXPECT_EQ(box(), nullptr);
    EXPECT_FALSE(frameGone());
    EXPECT_TRUE(host->enabled());
    EXPECT_FALSE(utility::MainLoop::quitRequested());
    EXPECT_EQ(log, std::string(button) == "Yes" ? std::vector<std::wstring>{std::wstring(L"open ") + kPlayerUrl}
                                                 : std::vector<std::wstring>{});
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
