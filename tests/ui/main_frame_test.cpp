// The main window's set-up, its notification table, the checks before the download, the end of
// the installation and its destruction, on the shipped skin in the headless host.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/box_test_support.h"
#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "ui/msg/message_box_window.h"
#include "ui/msg/selection_ui.h"
#include "ui/ui_actions.h"
#include "utility/base/wformat.h"
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

// ---- Keyboard, the window manager's close, hit areas ----

TEST_F(MainFrameWindowTest, OpensWithTheFocusOnInstallAndEnterStartsTheDownload) {
  EXPECT_EQ(frame->input().focused(), &control(L"installnowbtn"));
  host->key(toolkit::Key::kEnter);
  EXPECT_EQ(page(), CMainFrame::kProgressPage);
  EXPECT_EQ(log, std::vector<std::wstring>{L"report start_downloader"});
  // The finish page's start button takes the focus with its page.
  frame->setFinishButtonMode(false);
  frame->selectTab(CMainFrame::kFinishPage);
  EXPECT_EQ(frame->input().focused(), &control(L"tastenowbtn"));
}

TEST_F(MainFrameWindowTest, EnterInTheFolderEditAppliesTheFolder) {
  frame->showCustomPath(true);
  frame->relayout();
  ASSERT_TRUE(host->click(L"pathedit"));
  ASSERT_EQ(frame->input().focused(), &control(L"pathedit"));
  host->key(toolkit::Key::kA, toolkit::kControl);
  host->type(L"C:\\Games");
  host->key(toolkit::Key::kEnter);
  EXPECT_EQ(DownloaderModel::instance().getInstallPath(), L"C:\\Games\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(text(L"pathedit"), L"C:\\Games\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(frame->input().focused(), &control(L"pathedit")) << "the edit keeps the focus";
}

TEST_F(MainFrameWindowTest, ACompletedFolderShowsTheEndOfTheEdit) {
  frame->showCustomPath(true);
  frame->relayout();
  auto& edit = static_cast<toolkit::Edit&>(control(L"pathedit"));
  ASSERT_TRUE(host->click(L"pathedit"));
  host->key(toolkit::Key::kA, toolkit::kControl);
  // Longer than the edit shows; the caret is at the start when the folder is applied.
  const std::wstring typed = L"C:\\" + std::wstring(60, L'x');
  host->type(typed);
  host->key(toolkit::Key::kHome);
  ASSERT_EQ(edit.scrollX(), 0);
  host->key(toolkit::Key::kEnter);
  const std::wstring completed = typed + L"\\Tarnwick\\Tarnwick9\\";
  ASSERT_EQ(edit.text(), completed);
  frame->relayout();
  const int view = edit.rect().width() - edit.textPadding().left - edit.textPadding().right;
  const int full = measurer.measure(completed, edit.font(), 0).width;
  ASSERT_GT(full, view);
  EXPECT_EQ(edit.scrollX(), full - view) << "the completed end is in view";
  EXPECT_EQ(edit.caret(), static_cast<int>(completed.size()));
  // Typing goes on at the caret, not somewhere in the middle.
  host->type(L"y");
  EXPECT_EQ(edit.text(), completed + L"y");
}

TEST_F(MainFrameWindowTest, TheLicenceLinkIsHitOnlyOverItsText) {
  frame->relayout();
  toolkit::Control& link = control(L"protocollinkbtn");
  const int textWidth = measurer.measure(langString("protocol_accept_btn"), link.font(), 0).width;
  const toolkit::Rect r = link.rect();
  EXPECT_EQ(r.width(), textWidth);
  const int y = (r.top + r.bottom) / 2;
  EXPECT_EQ(toolkit::InputRouter::hitTest(*frame->root(), toolkit::Point{r.left + textWidth - 1, y}), &link);
  EXPECT_NE(toolkit::InputRouter::hitTest(*frame->root(), toolkit::Point{r.left + textWidth + 1, y}), &link);
  log.clear();
  host->clickAt(toolkit::Point{r.left + textWidth + 10, y});
  EXPECT_TRUE(log.empty()) << "a click beside the text opens nothing";
}

// The window manager's close (Alt+F4, the task bar) in each phase does what the close button does.
TEST_F(MainFrameWindowTest, TheWindowManagersCloseTakesTheCloseButtonsPath) {
  struct Phase {
    const char* name;
    uint32_t downloadStartTick;
    int percent;
    bool quitOnClose;
    const char* expected;  // what is left on screen
  };
  const Phase phases[] = {
      {"before the download", 0, 0, false, "exit box"},
      {"during the download", 1234, 40, false, "download box"},
      {"installation", 1234, 100, false, "exit box"},
      {"apps", 1234, 100, false, "exit box"},
      {"finish page", 1234, 100, true, "window gone"},
  };
  auto outcome = [&] {
    drain();
    if (frameGone()) return std::string(utility::MainLoop::quitRequested() ? "window gone" : "gone without quit");
    if (desktop.find(L"box") != nullptr) return std::string("exit box");
    if (box() != nullptr && boxText() == langString("download_slowtip")) return std::string("download box");
    return std::string("nothing");
  };
  for (const Phase& phase : phases) {
    SCOPED_TRACE(phase.name);
    std::string byButton;
    for (bool windowManager : {false, true}) {
      reopen();
      utility::MainLoop::resetForTesting();
      if (std::string(phase.name) == "apps") frame->selectTab(CMainFrame::kApkPage);
      frame->setPhaseForTesting(phase.downloadStartTick, phase.percent, phase.quitOnClose);
      if (windowManager) {
        host->requestClose();
      } else {
        ASSERT_TRUE(host->click(L"closebtn"));
      }
      const std::string seen = outcome();
      EXPECT_EQ(seen, phase.expected) << (windowManager ? "window manager" : "close button");
      if (windowManager) {
        EXPECT_EQ(seen, byButton);
      } else {
        byButton = seen;
      }
      if (frameGone()) reopen();
    }
  }
  // With a box open the window is disabled: the window manager's close waits for the box.
  reopen();
  frame->setPhaseForTesting(1234, 40, false);
  host->requestClose();
  drain();
  ASSERT_NE(box(), nullptr);
  host->requestClose();
  drain();
  EXPECT_FALSE(frameGone());
  int boxes = 0;
  for (auto* window : desktop.windows()) boxes += window->window().windowClassName() == L"MessageBoxWindow";
  EXPECT_EQ(boxes, 1);
}

// Every place that opens a box: which of its buttons is the primary one and has the focus when it
// opens (Enter presses it), and that Escape is its close button.
class BoxCallSiteTest : public MainFrameWindowTest {
 protected:
  void SetUp() override {
    MainFrameWindowTest::SetUp();
    for (const char* drive : {"c", "d", "e"}) std::filesystem::create_directories(folder.path() / drive);
    utility::setDriveTableForTesting({{L'C', (folder.path() / "c").string(), {}, {}},
                                      {L'D', (folder.path() / "d").string(), {}, {}},
                                      {L'E', (folder.path() / "e").string(), {}, {}}});
    setVolumes(200000);
  }
  // C: solid-state with |freeOnC|, D: a large hard disk, E: a hard disk short of 17 GiB.
  static void setVolumes(double freeOnC) {
    helper::disk::setStatedVolumesForTesting({{L'C', {freeOnC, L"NTFS", true}},
                                              {L'D', {900000, L"NTFS", false}},
                                              {L'E', {12000, L"NTFS", false}}});
  }
  void prepareModel() {
    DownloaderModel::instance().setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
    DownloaderModel::instance().setBestPathForTesting(L"C:\\Tarnwick\\Tarnwick9\\", 1);
  }
};

TEST_F(BoxCallSiteTest, EachBoxOpensWithTheFocusOnItsPrimaryButton) {
  struct Site {
    const char* name;
    std::function<void()> open;
    const char* text;                   // the box's text key
    std::vector<const char*> buttons;   // in order
    const char* primary;                // the button with the primary look; null: none has it
    const char* focused;                // the button Enter presses
  };
  auto refusal = [&](bool licence, const wchar_t* path, double free) {
    return [=, this] {
      setVolumes(free);
      DownloaderModel::instance().setInstallPath(path);
      static_cast<toolkit::Option&>(control(L"acceptprotocolopt")).setSelected(licence);
      frame->onInstallClick();
    };
  };
  const std::vector<Site> sites = {
      {"licence not accepted", refusal(false, L"C:\\Tarnwick\\Tarnwick9\\", 200000), "MsgBox_accept_protocol",
       {"confirm"}, nullptr, "confirm"},
      {"invalid folder", refusal(true, L"C:\\Tar|nwick\\", 200000), "MsgBox_error_path", {"confirm"}, nullptr, "confirm"},
      {"disk full", refusal(true, L"C:\\Tarnwick\\Tarnwick9\\", 10), "MsgBox_disk_notEnough", {"confirm"}, nullptr,
       "confirm"},
      {"close while downloading",
       [&] {
         frame->setPhaseForTesting(1234, 40, false);
         frame->onCloseClick();
       },
       "download_slowtip", {"download_close", "downloadBybrowser"}, "download_close", "download_close"},
      {"download failed", [&] { frame->onDownloadFail(); }, "download_error_tip2", {"Yes", "No"}, "No", "No"},
      {"browse with a folder chosen", [&] { frame->onBrowseClick(); }, "change_path_tip", {"sure", "cancel"}, "sure",
       "sure"},
      {"hard disk notice", [&] { frame->changePathClac(true, L"D:\\Games"); }, nullptr, {"path_ok", "path_not"},
       "path_not", "path_not"},
      {"free space notice", [&] { frame->changePathClac(false, L"E:\\Games"); }, nullptr, {"path_ok", "path_not"},
       "path_not", "path_not"},
  };
  for (const Site& site : sites) {
    SCOPED_TRACE(site.name);
    setVolumes(200000);
    prepareModel();
    reopen();
    prepareModel();
    site.open();
    toolkit::HeadlessWindow* shown = box();
    ASSERT_NE(shown, nullptr);
    if (site.text != nullptr) {
      EXPECT_EQ(boxText(), langString(site.text));
    }
    auto* window = static_cast<msg::MessageBoxWindow*>(&shown->window());
    std::vector<std::wstring> expected;
    for (const char* key : site.buttons) expected.push_back(langString(key));
    EXPECT_EQ(uitest::boxButtons(*shown), expected);
    std::vector<std::wstring> primaries;
    toolkit::Container* bar = window->findControl(L"bottombar")->asContainer();
    for (int i = 0; i < bar->count(); ++i) {
      if (auto* button = dynamic_cast<msg::CSelectionUI*>(bar->childAt(i)); button && !button->spec().secondary) {
        primaries.push_back(button->text());
      }
    }
    EXPECT_EQ(primaries, site.primary != nullptr ? std::vector<std::wstring>{langString(site.primary)}
                                                 : std::vector<std::wstring>{});
    ASSERT_NE(window->input().focused(), nullptr);
    EXPECT_EQ(window->input().focused()->text(), langString(site.focused));
    EXPECT_EQ(window->input().focused(), window->defaultButton());
  }
  // The exit confirmation: "No" (stay) is the highlighted one and has the focus.
  reopen();
  frame->onCloseClick();
  toolkit::HeadlessWindow* exitBox = desktop.find(L"box");
  ASSERT_NE(exitBox, nullptr);
  EXPECT_EQ(exitBox->window().input().focused(), exitBox->window().findControl(L"btnRight"));
}

TEST_F(BoxCallSiteTest, EnterPressesTheFocusedButtonAndEscapeIsTheCloseButton) {
  // The browse question: Enter is "sure" (the folder browser opens), Escape closes it unanswered.
  frame->onBrowseClick();
  ASSERT_NE(box(), nullptr);
  box()->key(toolkit::Key::kEnter);
  drain();
  EXPECT_EQ(box(), nullptr);
  EXPECT_EQ(desktop.folderRequests().size(), 1u);
  EXPECT_TRUE(host->enabled());
  frame->onBrowseClick();
  box()->key(toolkit::Key::kEscape);
  drain();
  EXPECT_EQ(box(), nullptr);
  EXPECT_EQ(desktop.folderRequests().size(), 1u);
  EXPECT_TRUE(host->enabled());

  // The hard-disk notice: Escape is its close button, which keeps the chosen folder and still
  // checks its space (E: is short of it: the space notice follows).
  prepareModel();
  frame->changePathClac(true, L"E:\\Games");
  ASSERT_NE(box(), nullptr);
  ASSERT_EQ(boxText(), utility::format(langString("path_ssd").c_str(), L"E", L"C"));
  box()->key(toolkit::Key::kEscape);
  drain();
  ASSERT_NE(box(), nullptr);
  EXPECT_EQ(boxText(), utility::format(langString("path_more").c_str(), L"C"));
  EXPECT_EQ(DownloaderModel::instance().getInstallPath(), L"E:\\Games\\Tarnwick\\Tarnwick9\\");
  box()->key(toolkit::Key::kEscape);
  drain();
  EXPECT_EQ(box(), nullptr);
  EXPECT_TRUE(host->enabled());

  // The exit confirmation: Escape stays, Enter on its focused "No" stays too.
  for (toolkit::Key key : {toolkit::Key::kEscape, toolkit::Key::kEnter}) {
    frame->onCloseClick();
    ASSERT_NE(desktop.find(L"box"), nullptr);
    desktop.find(L"box")->key(key);
    drain();
    EXPECT_EQ(desktop.find(L"box"), nullptr);
    EXPECT_TRUE(host->enabled());
    EXPECT_FALSE(utility::MainLoop::quitRequested());
  }
}

}  // namespace
