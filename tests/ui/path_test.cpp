// The choose page's installation folder: completion of typed and chosen folders, the tidy rules,
// the recommended-drive rule, the error display and the folder browser, on the real main window
// and skin in the headless host, over a drive table and drive facts of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/core/attribute_value.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/wformat.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"

namespace {

namespace fs = std::filesystem;
using toolkit::HeadlessDesktop;
using toolkit::HeadlessWindow;

std::vector<std::wstring> gLogs;
void recordLog(const char* function, int, const wchar_t* text) {
  if (std::string(function) == "CMainFrame::changePathClac") gLogs.push_back(text);
}

class PathTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    utility::TaskDispatcher::create();
    toolkit::loadSkinArchive(129, L"multi_language.tsv");
  }

  void SetUp() override {
    utility::MainLoop::resetForTesting();
    toolkit::setCurrentLanguage(L"en_US");
    toolkit::loadTextTable(utility::SkinArchive::instance().loadFile(L"multi_language.tsv"));
    for (const char* drive : {"c", "d", "e"}) fs::create_directories(temp_.path() / drive);
    utility::setDriveTableForTesting({{L'C', (temp_.path() / "c").string(), {}, {}},
                                      {L'D', (temp_.path() / "d").string(), {}, {}},
                                      {L'E', (temp_.path() / "e").string(), {}, {}}});
    // C: a solid-state disk, D: a large hard disk, E: a hard disk just short of 17 GiB free.
    helper::disk::setStatedVolumesForTesting({{L'C', {200000, L"NTFS", true}},
                                              {L'D', {900000, L"NTFS", false}},
                                              {L'E', {17407, L"NTFS", false}}});
    gLogs.clear();
    common::setLogHook(&recordLog);
    model().setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
    model().setBestPathForTesting(L"C:\\Tarnwick\\Tarnwick9\\", 1);
    frame_ = new CMainFrame;
    ASSERT_TRUE(frame_->create(nullptr));
    frame_->show(toolkit::ShowCommand::kShow);
    host_ = desktop_.hostOf(*frame_);
    ASSERT_NE(host_, nullptr);
  }

  void TearDown() override {
    if (desktop_.hostOf(*frame_) != nullptr) frame_->close();
    // The close is posted; run it so the frame is destroyed (and the model with it).
    for (int i = 0; i < 100 && !desktop_.windows().empty(); ++i) utility::MainLoop::iterate();
    common::setLogHook(nullptr);
    helper::disk::setStatedVolumesForTesting({});
    utility::setDriveTableForTesting({});
    utility::MainLoop::resetForTesting();
  }

  static DownloaderModel& model() { return DownloaderModel::instance(); }
  std::wstring path() const { return model().getInstallPath(); }
  std::wstring editText() const { return frame_->findControl(L"pathedit")->text(); }
  bool visible(const wchar_t* name) const { return frame_->findControl(name)->visible(); }
  bool enabled(const wchar_t* name) const { return frame_->findControl(name)->enabled(); }
  // Types |text| into the path field and leaves it, as a user would.
  void typePath(const std::wstring& text) {
    frame_->findControl(L"pathedit")->setText(text);
    frame_->notify(L"killfocus", *frame_->findControl(L"pathedit"));
  }
  size_t openWindows() const { return desktop_.windows().size(); }
  // The newest window other than the main window: the open box; null when none.
  HeadlessWindow* box() const {
    for (auto it = desktop_.windows().rbegin(); it != desktop_.windows().rend(); ++it) {
      if (*it != host_) return *it;
    }
    return nullptr;
  }
  static toolkit::Control* findByText(toolkit::Control& control, const std::wstring& text) {
    if (control.text() == text && control.visible()) return &control;
    if (toolkit::Container* container = control.asContainer()) {
      for (int i = 0; i < container->count(); ++i) {
        if (toolkit::Control* hit = findByText(*container->childAt(i), text)) return hit;
      }
    }
    return nullptr;
  }
  std::wstring boxText(const wchar_t* name) const {
    toolkit::Control* control = box()->window().findControl(name);
    return control != nullptr ? control->text() : std::wstring(L"<none>");
  }
  // Clicks the box button with the text of |key| and runs what the click posted.
  bool clickBoxButton(const char* key) {
    HeadlessWindow* open = box();
    if (open == nullptr) return false;
    open->window().relayout();
    toolkit::Control* button = findByText(*open->window().root(), toolkit::langString(key));
    if (button == nullptr) return false;
    const toolkit::Rect r = button->rect();
    open->clickAt(toolkit::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    settle();
    return true;
  }
  static void settle() {
    for (int i = 0; i < 100 && utility::MainLoop::iterate(); ++i) {
    }
  }

  testsupport::TempFolder temp_{"ui_path"};
  toolkit::testing::FixedMeasurer measurer_;
  HeadlessDesktop desktop_{measurer_};
  CMainFrame* frame_ = nullptr;
  HeadlessWindow* host_ = nullptr;
};

TEST_F(PathTest, TypedFoldersAreCompletedIntoInstallationPaths) {
  struct Case {
    const wchar_t* typed;
    const wchar_t* path;
  };
  const Case cases[] = {
      {L"D:\\", L"D:\\Tarnwick\\Tarnwick9\\"},
      {L"D:\\Games", L"D:\\Games\\Tarnwick\\Tarnwick9\\"},
      {L"D:\\Games\\", L"D:\\Games\\Tarnwick\\Tarnwick9\\"},
      {L"D:\\Games\\Tarnwick9", L"D:\\Games\\Tarnwick9\\"},
      {L"D:\\Morvane", L"D:\\Morvane\\Tarnwick9\\"},
      {L"D:\\games\\MORVANE\\", L"D:\\games\\MORVANE\\Tarnwick9\\"},
      {L"D:\\corvide\\x", L"D:\\corvide\\x\\"},
      {L"D:/Games/Emu", L"D:\\Games\\Emu\\Tarnwick\\Tarnwick9\\"},
      {L"D:\\\\Games\\\\\\Emu", L"D:\\Games\\Emu\\Tarnwick\\Tarnwick9\\"},
      {L"  D:\\Games  ", L"D:\\Games  \\Tarnwick\\Tarnwick9\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.typed));
    model().setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
    typePath(c.typed);
    EXPECT_EQ(path(), c.path);
    EXPECT_EQ(editText(), c.path);
  }
}

TEST_F(PathTest, TidyAndSlashRules) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  };
  const Case tidy[] = {
      {L"D:/a/b", L"D:\\a\\b\\"},
      {L"D:\\\\a\\\\b\\", L"D:\\a\\b\\"},
      {L"D:\\a\\\\\\b", L"D:\\a\\b\\"},      // a run of three: one left
      {L"D:\\a\\\\\\\\b", L"D:\\a\\b\\"},    // and of four
      {L"  D:\\a  ", L"D:\\a\\"},
      {L"   ", L""},
      {L"", L""},
  };
  for (const Case& c : tidy) {
    std::wstring text = c.in;
    CMainFrame::tidyPath(text);
    EXPECT_EQ(text, c.out) << utility::wideToUtf8(c.in);
  }
  const Case slashes[] = {
      {L"D:/a/b", L"D:\\a\\b"},
      {L"//server/x", L"\\server\\x"},
      {L"///x", L"\\x"},
      {L"/x", L"\\x"},
      {L"", L""},
  };
  for (const Case& c : slashes) EXPECT_EQ(CMainFrame::slashToBackslash(c.in), c.out) << utility::wideToUtf8(c.in);
}

TEST_F(PathTest, SameTextAgainDoesNothing) {
  typePath(L"E:\\Emu\\");
  ASSERT_EQ(path(), L"E:\\Emu\\Tarnwick\\Tarnwick9\\");
  gLogs.clear();
  typePath(L"E:\\Emu\\Tarnwick\\Tarnwick9\\");
  EXPECT_TRUE(gLogs.empty());
}

TEST_F(PathTest, SameDriveAsTheRecommendedFolderLogsAndAsksNothing) {
  // C: has the recommended folder; even with little room the rules stop there.
  helper::disk::setStatedVolumesForTesting({{L'C', {100, L"NTFS", false}}});
  typePath(L"C:\\Other");
  EXPECT_EQ(path(), L"C:\\Other\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(gLogs, std::vector<std::wstring>{L"same best path"});
}

TEST_F(PathTest, LittleSpaceIsLogged) {
  model().setBestPathForTesting(L"", 0);
  typePath(L"E:\\");
  EXPECT_EQ(path(), L"E:\\Tarnwick\\Tarnwick9\\");  // the chosen folder stays whatever is asked
  EXPECT_EQ(gLogs, std::vector<std::wstring>{L"left 17G"});
  gLogs.clear();
  typePath(L"D:\\");
  EXPECT_TRUE(gLogs.empty());
}

TEST_F(PathTest, InvalidPathShowsTheErrorRowAndDisablesInstall) {
  ASSERT_FALSE(visible(L"errorpathnoticeui"));
  ASSERT_TRUE(enabled(L"installnowbtn"));
  auto* edit = frame_->findControl<toolkit::Edit>(L"pathedit");
  typePath(L"D:\\bad|name");
  EXPECT_EQ(path(), L"D:\\bad|name\\Tarnwick\\Tarnwick9\\");
  EXPECT_TRUE(visible(L"errorpathnoticeui"));
  EXPECT_FALSE(enabled(L"installnowbtn"));
  EXPECT_EQ(edit->normalImage().file, L"error_edit_bg.png");
  EXPECT_EQ(edit->hotImage().file, L"error_edit_bg.png");
  EXPECT_EQ(edit->focusedImage().file, L"error_edit_bg.png");

  typePath(L"D:\\good");
  EXPECT_FALSE(visible(L"errorpathnoticeui"));
  EXPECT_TRUE(enabled(L"installnowbtn"));
  EXPECT_EQ(edit->normalImage().file, L"browse_button.png");
  EXPECT_EQ(edit->hotImage().source, std::optional<toolkit::Rect>(toolkit::Rect{28, 0, 56, 28}));
  EXPECT_EQ(edit->focusedImage().source, std::optional<toolkit::Rect>(toolkit::Rect{56, 0, 84, 28}));

  // A drive the table does not know is no valid place either.
  typePath(L"Q:\\x");
  EXPECT_TRUE(visible(L"errorpathnoticeui"));
}

TEST_F(PathTest, CustomPathPanelStaysOpenWhileThePathChanges) {
  ASSERT_TRUE(host_->click(L"userdefinitionBtn"));
  ASSERT_TRUE(visible(L"userdefinitionsui"));
  typePath(L"C:\\bad|name");  // on the recommended drive: no notice
  ASSERT_EQ(openWindows(), 1u);
  EXPECT_TRUE(visible(L"userdefinitionsui"));
  EXPECT_TRUE(visible(L"backLayout"));
  EXPECT_FALSE(visible(L"userdefinitionLayout"));
  EXPECT_EQ(frame_->findControl(L"installnowbtn")->text(), toolkit::langString("Button_install_now"));
  ASSERT_TRUE(host_->click(L"backBtn"));
  frame_->refreshInstallPage();
  EXPECT_FALSE(visible(L"userdefinitionsui"));
  EXPECT_EQ(frame_->findControl(L"installnowbtn")->text(), toolkit::langString("Button_install_fast"));
}

TEST_F(PathTest, ClearedLicenceDisablesInstall) {
  auto* accept = frame_->findControl<toolkit::Option>(L"acceptprotocolopt");
  ASSERT_TRUE(host_->click(L"acceptprotocolopt"));
  ASSERT_FALSE(accept->selected());
  EXPECT_FALSE(enabled(L"installnowbtn"));
  ASSERT_TRUE(host_->click(L"acceptprotocolopt"));
  EXPECT_TRUE(enabled(L"installnowbtn"));
}

TEST_F(PathTest, FolderBrowserChoiceBecomesADrivePath) {
  model().setInstallPath(L"");
  fs::create_directories(temp_.path() / "d" / "Games");
  desktop_.setChosenFolder((temp_.path() / "d" / "Games").string());
  ASSERT_TRUE(host_->click(L"userdefinitionBtn"));
  ASSERT_TRUE(host_->click(L"browsebtn"));  // no folder yet: the browser at once
  ASSERT_EQ(desktop_.folderRequests().size(), 1u);
  EXPECT_EQ(desktop_.folderRequests()[0].title, toolkit::langString("Label_choice_path"));
  EXPECT_EQ(fs::path(desktop_.folderRequests()[0].startFolder), temp_.path() / "c" / "");
  EXPECT_EQ(desktop_.folderRequests()[0].owner, host_);
  EXPECT_EQ(path(), L"D:\\Games\\Tarnwick\\Tarnwick9\\");

  // A cancel changes nothing.
  desktop_.setChosenFolder(std::nullopt);
  frame_->openFolderDialog();
  EXPECT_EQ(path(), L"D:\\Games\\Tarnwick\\Tarnwick9\\");

  // A folder outside every drive stays the host's path: invalid, the error row shows.
  desktop_.setChosenFolder(temp_.path().string());
  frame_->openFolderDialog();
  std::wstring outside = utility::utf8ToWide(temp_.path().string());
  for (wchar_t& c : outside) c = c == L'/' ? L'\\' : c;
  EXPECT_EQ(path(), outside + L"\\Tarnwick\\Tarnwick9\\");
  EXPECT_TRUE(visible(L"errorpathnoticeui"));
}

// A folder that cannot be used gets the error row with its reason and no drive notice: each
// of these is on a drive other than the recommended solid-state one, where a usable folder
// would bring the notices.
TEST_F(PathTest, UnusableFoldersGetTheErrorRowOnly) {
  const fs::path d = temp_.path() / "d";
  std::ofstream(d / "plain.txt") << "x";
  fs::create_directories(d / "locked");
  fs::permissions(d / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  fs::create_directories(temp_.path() / "f");
  utility::setDriveTableForTesting({{L'C', (temp_.path() / "c").string(), {}, {}},
                                    {L'D', d.string(), {}, {}},
                                    {L'F', (temp_.path() / "f").string(), {}, {}}});
  helper::disk::setStatedVolumesForTesting({{L'C', {200000, L"NTFS", true}},
                                            {L'D', {900000, L"NTFS", false}},
                                            {L'F', {0, L"NTFS", false}}});
  std::wstring longPieces;
  while (longPieces.size() < 1100) longPieces += L"\\folder";
  struct Case {
    const char* label;
    std::wstring typed;
    std::wstring stored;  // the installation path it becomes
    const wchar_t* reason;
    const char* textKey;
  };
  std::vector<Case> cases = {
      {"no such drive", L"Q:\\nowhere", L"Q:\\nowhere\\Tarnwick\\Tarnwick9\\", L"no such drive", "path_error_no_drive"},
      {"a file, not a folder", L"D:\\plain.txt", L"D:\\plain.txt\\Tarnwick\\Tarnwick9\\",
       L"a file where a folder must be", "path_error_not_folder"},
      {"a folder name too long", L"D:\\" + std::wstring(256, L'x'),
       L"D:\\" + std::wstring(256, L'x') + L"\\Tarnwick\\Tarnwick9\\", L"too long", "path_error_too_long"},
      {"a path too long", L"D:" + longPieces, L"D:" + longPieces + L"\\Tarnwick\\Tarnwick9\\", L"too long",
       "path_error_too_long"},
      {"characters not allowed", L"D:\\bad|name", L"D:\\bad|name\\Tarnwick\\Tarnwick9\\",
       L"characters not allowed", "MsgBox_error_path"},
      {"a folder name of blanks", L"D:\\a\\  \\b", L"D:\\a\\  \\b\\Tarnwick\\Tarnwick9\\",
       L"a folder name of blanks", "MsgBox_error_path"},
      {"a full drive", L"F:\\Games", L"F:\\Games\\Tarnwick\\Tarnwick9\\", L"no free space",
       "MsgBox_disk_notEnough"},
  };
  // The superuser may write anywhere.
  if (::geteuid() != 0) {
    cases.push_back({"not writable", L"D:\\locked\\games", L"D:\\locked\\games\\Tarnwick\\Tarnwick9\\",
                     L"not writable", "path_error_not_writable"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    typePath(L"C:\\Tarnwick\\Tarnwick9\\");
    gLogs.clear();
    typePath(c.typed);
    settle();
    EXPECT_EQ(path(), c.stored);
    EXPECT_EQ(openWindows(), 1u) << "a drive notice for a folder that cannot be used";
    EXPECT_TRUE(visible(L"errorpathnoticeui"));
    EXPECT_EQ(frame_->findControl(L"pathErrorLabel")->text(), toolkit::langString(c.textKey));
    EXPECT_NE(frame_->findControl(L"pathErrorLabel")->text(), toolkit::langString("Label_path_error"))
        << "the row names its reason";
    EXPECT_FALSE(enabled(L"installnowbtn"));
    EXPECT_EQ(gLogs, std::vector<std::wstring>{L"path cannot be used (" + std::wstring(c.reason) + L"): " + c.stored});
    for (int i = 0; i < 5 && openWindows() > 1; ++i) {
      box()->window().close();
      settle();
    }
  }
  // A language switch keeps the reason in the row.
  typePath(L"Q:\\nowhere");
  settle();
  auto* combo = frame_->findControl<toolkit::Combo>(L"languageCombo");
  ASSERT_NE(combo, nullptr);
  combo->addItem(L"English", L"en_US");
  ASSERT_TRUE(combo->selectItem(combo->itemCount() - 1));
  settle();
  EXPECT_EQ(frame_->findControl(L"pathErrorLabel")->text(), toolkit::langString("path_error_no_drive"));
  typePath(L"C:\\Games");
  EXPECT_FALSE(visible(L"errorpathnoticeui"));
  fs::permissions(d / "locked", fs::perms::owner_all);
}

// ---- The notices ----

TEST_F(PathTest, HardDiskBringsTheSsdNotice) {
  typePath(L"D:\\Games");
  settle();
  ASSERT_EQ(openWindows(), 2u);
  EXPECT_EQ(boxText(L"titlelabel"), toolkit::langString("path_noice"));
  EXPECT_EQ(boxText(L"descriptlabel"),
            utility::format(toolkit::langString("path_ssd").c_str(), L"D", L"C"));
  EXPECT_EQ(path(), L"D:\\Games\\Tarnwick\\Tarnwick9\\");  // stored before asking
  ASSERT_TRUE(clickBoxButton("path_ok"));
  EXPECT_EQ(path(), L"C:\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(openWindows(), 1u);
}

TEST_F(PathTest, KeepingTheHardDiskStillChecksItsSpace) {
  typePath(L"E:\\Games");
  settle();
  ASSERT_TRUE(clickBoxButton("path_not"));  // no SSD rule this time; E: is short of 17 GiB
  ASSERT_EQ(openWindows(), 2u);
  EXPECT_EQ(boxText(L"descriptlabel"), utility::format(toolkit::langString("path_more").c_str(), L"C"));
  EXPECT_EQ(gLogs, std::vector<std::wstring>{L"left 17G"});
  ASSERT_TRUE(clickBoxButton("path_not"));
  EXPECT_EQ(path(), L"E:\\Games\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(openWindows(), 1u);
}

TEST_F(PathTest, ClosingTheSsdNoticeKeepsTheChoice) {
  typePath(L"D:\\Games");
  settle();
  ASSERT_EQ(openWindows(), 2u);
  box()->requestClose();
  settle();
  EXPECT_EQ(path(), L"D:\\Games\\Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(openWindows(), 1u);  // D: has room: no space notice follows
}

TEST_F(PathTest, SpaceNoticeWithoutRecommendationOffersThePreviousDrive) {
  model().setBestPathForTesting(L"", 0);
  model().setInstallPath(L"D:\\Old\\");
  typePath(L"E:\\");
  settle();
  ASSERT_EQ(openWindows(), 2u);
  EXPECT_EQ(boxText(L"descriptlabel"), utility::format(toolkit::langString("path_more").c_str(), L"D"));
  ASSERT_TRUE(clickBoxButton("path_ok"));
  EXPECT_EQ(path(), L"D:\\Old\\Tarnwick\\Tarnwick9\\");
}

TEST_F(PathTest, BrowseAsksFirstWhenAFolderIsChosen) {
  ASSERT_TRUE(host_->click(L"userdefinitionBtn"));
  fs::create_directories(temp_.path() / "d" / "Games");
  desktop_.setChosenFolder((temp_.path() / "d" / "Games").string());
  ASSERT_TRUE(host_->click(L"browsebtn"));
  settle();
  ASSERT_EQ(openWindows(), 2u);
  EXPECT_EQ(boxText(L"descriptlabel"), toolkit::langString("change_path_tip"));
  ASSERT_TRUE(clickBoxButton("cancel"));
  EXPECT_TRUE(desktop_.folderRequests().empty());
  ASSERT_TRUE(host_->click(L"browsebtn"));
  settle();
  ASSERT_TRUE(clickBoxButton("sure"));
  ASSERT_EQ(desktop_.folderRequests().size(), 1u);
  EXPECT_EQ(path(), L"D:\\Games\\Tarnwick\\Tarnwick9\\");
}

}  // namespace
