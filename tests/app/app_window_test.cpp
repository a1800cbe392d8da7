// The application object's window duties in the headless host with the shipped skin: the main
// window made once, centred, shown in front; the instance message; the checks of systems the
// emulator cannot run on, with their boxes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/download_impl.h"
#include "model/config_imp.h"
#include "tests/support/temp_folder.h"
#include "tests/toolkit/window/window_test_support.h"
#include "tests/ui/box_test_support.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "ui/ui_actions.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"

namespace {

using toolkit::HeadlessWindow;

std::mutex gLogMutex;
std::vector<std::wstring> gLog;

void keepLog(const char*, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.emplace_back(text);
}

class AppWindow : public toolkit::testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    runtime_.emplace("tw-appwin");
    setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
    unsetenv("TARNWICK_FAKE_OS");
    toolkit::loadSkinArchive(129, L"multi_language.tsv");
    ConfigImp::instance().setPlayer9();
    {
      std::lock_guard<std::mutex> lock(gLogMutex);
      gLog.clear();
    }
    common::setLogHook(keepLog);
    uiactions::setForTesting(uiactions::Actions{
        .sendUiEvent = [](const std::wstring&, const std::wstring&) {},
        .reportUiEvent = [](const std::wstring&, const std::wstring&) {},
        .report = [](const wchar_t*) {},
        .openUrl = [this](const std::wstring& address) {
          opened.push_back(address);
          return 0;
        },
        .runPlayerWithPackage = [] {}});
  }
  void TearDown() override {
    for (HeadlessWindow* window : desktop.windows()) window->window().close();
    drain();
    app.shutdown();
    common::setLogHook(nullptr);
    uiactions::setForTesting({});
    unsetenv("TARNWICK_FAKE_OS");
    ConfigImp::instance().setPlayer9();
    unsetenv("XDG_RUNTIME_DIR");
    runtime_.reset();
    WindowTest::TearDown();
  }

  HeadlessWindow* mainWindow() const { return desktop.find(L"cmainframe"); }
  int count(std::wstring_view className) const {
    int n = 0;
    for (HeadlessWindow* window : desktop.windows()) n += window->window().windowClassName() == className;
    return n;
  }
  static int logged(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(gLogMutex);
    int n = 0;
    for (const std::wstring& line : gLog) n += line == text;
    return n;
  }
  // The box's text, from its description label.
  static std::wstring boxText(HeadlessWindow& box) {
    toolkit::Control* label = box.window().findControl(L"descriptlabel");
    return label != nullptr ? label->text() : L"";
  }
  DownloadImpl app;
  std::vector<std::wstring> opened;
  std::optional<testsupport::TempFolder> runtime_;
};

TEST_F(AppWindow, TheFirstShowMakesTheWindowCentredWithItsIconInFrontAndNotTopmost) {
  app.showMainFrame();
  HeadlessWindow* window = mainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(logged(L"create main"), 1);
  EXPECT_EQ(window->icon(), 107);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->active());
  EXPECT_FALSE(window->topmost());
  EXPECT_FALSE(window->style().topmost);
  EXPECT_FALSE(window->style().toolWindow);  // in the task bar
  EXPECT_EQ(window->title(), toolkit::langString("Title_wndTitle"));
  // Centred in the work area (1920x1040 at the origin).
  const toolkit::Rect frame = window->frame();
  EXPECT_GT(frame.right - frame.left, 0);
  EXPECT_LE(std::abs(frame.left + frame.right - 1920), 1);
  EXPECT_LE(std::abs(frame.top + frame.bottom - 1040), 1);
  EXPECT_EQ(count(L"MessageBoxWindow"), 0);  // a 64-bit, current system
}

TEST_F(AppWindow, TheInstanceMessageRestoresAMinimisedWindowAndOtherNumbersAreOnlyLogged) {
  app.showMainFrame();
  HeadlessWindow* window = mainWindow();
  ASSERT_NE(window, nullptr);
  window->window().show(toolkit::ShowCommand::kMinimize);
  ASSERT_TRUE(window->isMinimized());

  EXPECT_EQ(app.onHandleWindowIPC(11122, 0, 0), 0);
  EXPECT_EQ(logged(L"onHandleWindowIPC, msg = 11122"), 1);
  EXPECT_TRUE(window->isMinimized());

  EXPECT_EQ(app.onHandleWindowIPC(11123, 0, 0), 0);
  EXPECT_EQ(logged(L"onHandleWindowIPC, msg = 11123"), 1);
  EXPECT_EQ(count(L"cmainframe"), 1);  // the same window, not a second one
  EXPECT_EQ(mainWindow(), window);
  EXPECT_FALSE(window->isMinimized());
  EXPECT_TRUE(window->active());
  EXPECT_FALSE(window->topmost());
  EXPECT_EQ(logged(L"create main"), 2);
}

TEST_F(AppWindow, AnInstanceMessageAfterTheWindowWentMakesNoNewWindow) {
  app.showMainFrame();
  ASSERT_NE(mainWindow(), nullptr);
  mainWindow()->window().close();  // the window manager's close would ask first
  drain();
  ASSERT_EQ(mainWindow(), nullptr);
  EXPECT_TRUE(utility::MainLoop::quitRequested());

  app.onHandleWindowIPC(11123, 0, 0);
  drain();
  EXPECT_EQ(mainWindow(), nullptr);
  EXPECT_EQ(desktop.windows().size(), 0u);
}

// The systems the emulator cannot run on, faked by development builds.
TEST_F(AppWindow, OldAnd32BitSystemsGetTheirBoxByGeneration) {
  if (!utility::devOverridesEnabled()) GTEST_SKIP() << "release build: no fake system facts";
  struct Case {
    const char* fake;
    int generation;
    const char* text;  // the box's text key; null: no box
    std::vector<const char*> buttons;
    bool logs32;
  };
  const Case cases[] = {
      {"xp", 9, "MsgBox_xp", {"sure"}, false},
      {"xp,32bit", 4, "MsgBox_xp", {"sure"}, false},  // the old system is told first, alone
      {"32bit", 9, "MsgBox_32", {"do_exit", "jump_download"}, true},
      {"32bit", 64, "MsgBox_32", {"do_exit", "jump_download"}, true},
      {"32bit", 4, nullptr, {}, true},
      {"32bit", 3, nullptr, {}, true},
      {"win7", 9, nullptr, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fake) + " generation " + std::to_string(c.generation));
    setenv("TARNWICK_FAKE_OS", c.fake, 1);
    if (c.generation == 9) ConfigImp::instance().setPlayer9();
    if (c.generation == 64) ConfigImp::instance().setPlayer64();
    if (c.generation == 4) ConfigImp::instance().setPlayer4();
    if (c.generation == 3) ConfigImp::instance().setPlayer3();
    DownloadImpl run;
    run.showMainFrame();
    drain();
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_EQ(logged(L"32 system!!!") > 0, c.logs32);
    HeadlessWindow* box = desktop.find(L"MessageBoxWindow");
    if (c.text == nullptr) {
      EXPECT_EQ(box, nullptr);
    } else {
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->owner(), mainWindow());
      EXPECT_EQ(boxText(*box), toolkit::langString(c.text));
      std::vector<std::wstring> expected;
      for (const char* key : c.buttons) expected.push_back(toolkit::langString(key));
      EXPECT_EQ(uitest::boxButtons(*box), expected);
      // Its first button is the default one: it has the focus, Enter presses it.
      ASSERT_NE(box->window().input().focused(), nullptr);
      EXPECT_EQ(box->window().input().focused()->text(), expected.front());
      // A second launch while the box is open brings the window up, without a second box.
      run.onHandleWindowIPC(11123, 0, 0);
      drain();
      EXPECT_EQ(count(L"MessageBoxWindow"), 1);
    }
    for (HeadlessWindow* window : desktop.windows()) window->window().close();
    drain();
    run.shutdown();
    utility::MainLoop::resetForTesting();
    std::lock_guard<std::mutex> lock(gLogMutex);
    gLog.clear();
  }
}

// Each button of the boxes ends the run through the main window's destruction.
TEST_F(AppWindow, TheBoxesButtonsCloseTheMainWindowAndJumpDownloadOpensTheGeneration4Installer) {
  if (!utility::devOverridesEnabled()) GTEST_SKIP() << "release build: no fake system facts";
  struct Case {
    const char* fake;
    const char* button;
    bool opensBrowser;
  };
  const Case cases[] = {{"xp", "sure", false}, {"32bit", "do_exit", false}, {"32bit", "jump_download", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    setenv("TARNWICK_FAKE_OS", c.fake, 1);
    ConfigImp::instance().setPlayer9();
    opened.clear();
    DownloadImpl run;
    run.showMainFrame();
    HeadlessWindow* box = desktop.find(L"MessageBoxWindow");
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(uitest::clickBoxButton(*box, toolkit::langString(c.button)));
    drain();
    EXPECT_EQ(mainWindow(), nullptr);
    EXPECT_TRUE(utility::MainLoop::quitRequested());
    if (c.opensBrowser) {
      EXPECT_EQ(opened, std::vector<std::wstring>{ConfigImp::internationalPlayerUrl(4)});
    } else {
      EXPECT_TRUE(opened.empty());
    }
    run.shutdown();
    utility::MainLoop::resetForTesting();
  }
}

}  // namespace
