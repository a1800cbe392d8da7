// The main window's set-up, its notification table, the checks before the download, the end of
// the installation and its destruction, on the shipped skin in the headless host.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "ui/ui_actions.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"

namespace {

using toolkit::langString;

class MainFrameWindowTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    utility::setDriveTableForTesting({{L'C', folder.path().string(), {}, {}}});
    setFreeMiB(200000);
    uiactions::setForTesting(uiactions::Actions{
        .sendUiEvent = [this](const std::wstring& n, const std::wstring& l) { log.push_back(L"send " + n + L" " + l); },
        .reportUiEvent = [this](const std::wstring& n, const std::wstring& l) { log.push_back(L"queue " + n + L" " + l); },
        .report = [this](const wchar_t* key) { log.push_back(std::wstring(L"report ") + key); },
        .openUrl = [this](const std::wstring& address) { log.push_back(L"open " + address); return 42; },
        .runPlayerWithPackage = [this] { log.push_back(L"run player"); }});
    DownloaderModel::instance().setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
    MainFrameTest::SetUp();
  }
  void TearDown() override {
    MainFrameTest::TearDown();
    ConfigImp::instance().setPlayer9();
    uiactions::setForTesting({});
    helper::disk::setStatedVolumesForTesting({});
    utility::setDriveTableForTesting({});
  }
  static void setFreeMiB(double free) { helper::disk::setStatedVolumesForTesting({{L'C', {free, L"NTFS", false}}}); }
  // A new main window in place of the fixture's.
  void reopen() {
    MainFrameTest::TearDown();
    DownloaderModel::instance().setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
    MainFrameTest::SetUp();
  }
  int page() const { return frame->findControl<toolkit::TabLayout>(L"maintab")->selectedIndex(); }
  toolkit::HeadlessWindow* box() const { return desktop.find(L"MessageBoxWindow"); }
  std::wstring boxText() const { return box() != nullptr ? box()->window().findControl(L"descriptlabel")->text() : L"<no box>"; }

  testsupport::TempFolder folder{"ui_frame"};
  std::vector<std::wstring> log;
};

TEST_F(MainFrameWindowTest, StartsOnTheChoosePageWithItsTexts) {
  EXPECT_EQ(page(), CMainFrame::kChoosePage);
  EXPECT_EQ(host->title(), langString("Title_wndTitle"));
  EXPECT_EQ(text(L"protocollinkbtn"), L"<u>" + langString("protocol_accept_btn") + L"</u>");
  EXPECT_EQ(text(L"homepageBtn"), ConfigImp::instance().homePageUrl());
  EXPECT_EQ(control(L"homepageBtn").textColor(), 0xFFFFFFFFu);
  EXPECT_EQ(text(L"pathedit"), L"C:\\Tarnwick\\Tarnwick9\\");
  EXPECT_FALSE(control(L"userdefinitionsui").visible());
  EXPECT_EQ(text(L"installnowbtn"), langString("Button_install_fast"));
  EXPECT_TRUE(control(L"installnowbtn").enabled());
  // The shared fonts 12 + 2 x id where the layout names none.
  EXPECT_EQ(frame->font(5)->size, 22);
  EXPECT_EQ(frame->font(6)->size, 24);
}

TEST_F(MainFrameWindowTest, TheLogoFollowsTheGeneration) {
  for (int generation : {9, 4, 64, 3}) {
    SCOPED_TRACE(generation);
    if (generation == 9) ConfigImp::instance().setPlayer9();
    if (generation == 4) ConfigImp::instance().setPlayer4();
    if (generation == 64) ConfigImp::instance().setPlayer64();
    if (generation == 3) ConfigImp::instance().setPlayer3();
    reopen();
    EXPECT_EQ(control(L"logoControl9").visible(), generation == 9);
    EXPECT_EQ(control(L"logoControl").visible(), generation != 9);
  }
}

TEST_F(MainFrameWindowTest, ChecksBeforeTheDownload) {
  struct Case {
    const char* name;
    bool licence;
    const wchar_t* path;
    double freeMiB;
    const char* refusal;  // null: the download starts
  };
  const Case cases[] = {
      {"licence cleared", false, L"C:\\Tarnwick\\Tarnwick9\\", 200000, "MsgBox_accept_protocol"},
      {"invalid path", true, L"C:\\Tar|nwick\\", 200000, "MsgBox_error_path"},
      {"1023 MiB free", true, L"C:\\Tarnwick\\Tarnwick9\\", 1023, "MsgBox_disk_notEnough"},
      {"1024 MiB free", true, L"C:\\Tarnwick\\Tarnwick9\\", 1024, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    setFreeMiB(c.freeMiB);
    reopen();
    DownloaderModel::instance().setInstallPath(c.path);
    static_cast<toolkit::Option&>(control(L"acceptprotocolopt")).setSelected(c.licence);
    frame->onInstallClick();  // as a click would, even where the button is disabled
    if (c.refusal != nullptr) {
      ASSERT_NE(box(), nullptr);
      EXPECT_EQ(boxText(), langString(c.refusal));
      EXPECT_EQ(box()->window().findControl(L"titlelabel")->text(), langString("MsgBox_error"));
      EXPECT_EQ(page(), CMainFrame::kChoosePage);
      EXPECT_EQ(frame->downloadStartTick(), 0u);
      EXPECT_TRUE(log.empty());
      // Clicking again does not stack a second box.
      frame->onInstallClick();
      size_t boxes = 0;
      for (auto* window : desktop.windows()) boxes += window->window().windowClassName() == L"MessageBoxWindow";
      EXPECT_EQ(boxes, 1u);
    } else {
      EXPECT_EQ(box(), nullptr);
      EXPECT_EQ(page(), CMainFrame::kProgressPage);
      EXPECT_FALSE(control(L"languageCombo").visible());
      EXPECT_NE(frame->downloadStartTick(), 0u);
      EXPECT_EQ(log, std::vector<std::wstring>{L"report start_downloader"});
    }
  }
}

TEST_F(MainFrameWindowTest, NotificationTable) {
  const ConfigImp& config = ConfigImp::instance();
  struct Row {
    const wchar_t* control;
    std::function<void()> prepare;
    std::function<void()> check;
  };
  const std::vector<Row> rows = {
      {L"userdefinitionBtn", nullptr,
       [&] {
         EXPECT_TRUE(control(L"userdefinitionsui").visible());
         EXPECT_TRUE(control(L"backLayout").visible());
         EXPECT_FALSE(control(L"userdefinitionLayout").visible());
         EXPECT_EQ(text(L"installnowbtn"), langString("Button_install_now"));
       }},
      {L"backBtn", [&] { frame->showCustomPath(true); },
       [&] {
         EXPECT_FALSE(control(L"userdefinitionsui").visible());
         EXPECT_TRUE(control(L"userdefinitionLayout").visible());
         EXPECT_EQ(text(L"installnowbtn"), langString("Button_install_fast"));
       }},
      {L"acceptprotocolopt", nullptr, [&] { EXPECT_FALSE(control(L"installnowbtn").enabled()); }},
      {L"protocollinkbtn", nullptr, [&] { EXPECT_EQ(log, std::vector<std::wstring>{L"open " + config.licenceUrl()}); }},
      {L"joinfacebookBtn", nullptr, [&] { EXPECT_EQ(log, std::vector<std::wstring>{L"open " + config.communityUrl()}); }},
      {L"closebtn", nullptr, [&] { EXPECT_NE(desktop.find(L"box"), nullptr); }},
      {L"minbtn", nullptr, [&] { EXPECT_TRUE(host->isMinimized()); }},
      {L"browsebtn", [&] { frame->showCustomPath(true); }, [&] { EXPECT_EQ(boxText(), langString("change_path_tip")); }},
      {L"installnowbtn", nullptr, [&] { EXPECT_EQ(page(), CMainFrame::kProgressPage); }},
      {L"confirmprotocolbtn", [&] { frame->selectTab(CMainFrame::kLicencePage); },
       [&] { EXPECT_EQ(log, std::vector<std::wstring>{L"open " + config.licenceUrl()}); }},
      {L"tastenowbtn",
       [&] {
         frame->setFinishButtonMode(false);
         frame->selectTab(CMainFrame::kFinishPage);
       },
       [&] {
         EXPECT_EQ(log, std::vector<std::wstring>{L"run player"});
         EXPECT_TRUE(utility::MainLoop::quitRequested());
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.control, row.control + wcslen(row.control)));
    reopen();
    log.clear();
    if (row.prepare) row.prepare();
    frame->relayout();
    ASSERT_TRUE(host->click(row.control));
    row.check();
  }
}

TEST_F(MainFrameWindowTest, EndOfInstallationShowsTheFinishPageInItsMode) {
  for (bool ok : {true, false}) {
    SCOPED_TRACE(ok);
    reopen();
    frame->selectTab(CMainFrame::kProgressPage);
    frame->onInstallFinished(ok);
    EXPECT_EQ(page(), CMainFrame::kFinishPage);
    EXPECT_TRUE(frame->quitOnClose());
    EXPECT_EQ(frame->startMode(), ok);
    EXPECT_EQ(text(L"tastenowbtn"), langString(ok ? "Button_start_player" : "reDownload"));
    EXPECT_EQ(progress(L"installprogressbar"), ok ? 100 : 0);
  }
}

TEST_F(MainFrameWindowTest, DestroyingTheWindowEndsTheModelAndTheLoop) {
  ASSERT_NE(DownloaderModel::existing(), nullptr);
  frame->close();
  drain();
  EXPECT_TRUE(frameGone());
  EXPECT_EQ(DownloaderModel::existing(), nullptr);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
}

}  // namespace
