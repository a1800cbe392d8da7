// Desktop shortcuts as the shell reads them: the .lnk written is loaded back through IShellLinkW.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/ufile.h"

namespace fs = std::filesystem;

namespace {

std::mutex gLogMutex;
std::vector<std::wstring> gLog;

void captureLog(const char*, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.emplace_back(text);
}

struct LinkFields {
  HRESULT loaded = E_FAIL;
  std::wstring path, arguments, workingFolder, icon, description;
  int iconIndex = -1;
};

// What the shell reads from a link file.
LinkFields readLink(const fs::path& file) {
  LinkFields fields;
  const HRESULT joined = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    fields.loaded = persist->Load(file.wstring().c_str(), STGM_READ);
    std::vector<wchar_t> text(32768);
    const int size = static_cast<int>(text.size());
    if (SUCCEEDED(link->GetPath(text.data(), size, nullptr, SLGP_RAWPATH))) fields.path = text.data();
    if (SUCCEEDED(link->GetArguments(text.data(), size))) fields.arguments = text.data();
    if (SUCCEEDED(link->GetWorkingDirectory(text.data(), size))) fields.workingFolder = text.data();
    if (SUCCEEDED(link->GetIconLocation(text.data(), size, &fields.iconIndex))) fields.icon = text.data();
    if (SUCCEEDED(link->GetDescription(text.data(), size))) fields.description = text.data();
  }
  if (persist != nullptr) persist->Release();
  if (link != nullptr) link->Release();
  if (SUCCEEDED(joined)) ::CoUninitialize();
  return fields;
}

class ShellLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop_ = temp_.path() / "Desktop";
    utility::ufile::setDesktopDirForTesting(desktop_);
    {
      std::lock_guard<std::mutex> lock(gLogMutex);
      gLog.clear();
    }
    common::setLogHook(captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    utility::ufile::setDesktopDirForTesting({});
  }
  std::vector<fs::path> filesBelow(const fs::path& folder) const {
    std::vector<fs::path> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_directory()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  bool logged(const wchar_t* text) const {
    std::lock_guard<std::mutex> lock(gLogMutex);
    return std::find(gLog.begin(), gLog.end(), std::wstring(text)) != gLog.end();
  }

  testsupport::TempFolder temp_{"shortcut-win-test"};
  fs::path desktop_;
  const std::wstring folder_ = L"C:\\Tarnwick Games\\Tarnwick9\\";
};

TEST_F(ShellLinks, LinkReadsBackWithTargetArgumentsFolderAndIcon) {
  const std::wstring arguments = L"package=com.game.app \"two words\" 100% back\\slash";
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick 9", folder_ + L"data\\Tarnwick 9.ico", folder_,
                                           folder_ + L"corvide.exe", arguments));
  EXPECT_EQ(filesBelow(desktop_), std::vector<fs::path>{desktop_ / "Tarnwick 9.lnk"});  // no temporary file left
  const LinkFields link = readLink(desktop_ / "Tarnwick 9.lnk");
  ASSERT_EQ(link.loaded, S_OK);
  EXPECT_EQ(link.path, folder_ + L"corvide.exe");
  EXPECT_EQ(link.arguments, arguments);
  EXPECT_EQ(link.workingFolder, folder_);
  EXPECT_EQ(link.icon, folder_ + L"data\\Tarnwick 9.ico");
  EXPECT_EQ(link.iconIndex, 0);
  EXPECT_EQ(link.description, L"");
}

TEST_F(ShellLinks, EmptyArgumentsSetNoneAndAnExistingLinkIsReplaced) {
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick", L"", folder_, folder_ + L"corvide.exe", L"-old"));
  ASSERT_TRUE(helper::disk::createShortcut(L"Tarnwick", L"", folder_, folder_ + L"corvide.exe", L""));
  EXPECT_EQ(filesBelow(desktop_), std::vector<fs::path>{desktop_ / "Tarnwick.lnk"});
  const LinkFields link = readLink(desktop_ / "Tarnwick.lnk");
  ASSERT_EQ(link.loaded, S_OK);
  EXPECT_EQ(link.arguments, L"");
  EXPECT_EQ(link.path, folder_ + L"corvide.exe");
}

TEST_F(ShellLinks, HostileLinkNamesStayInsideTheDesktopFolder) {
  const wchar_t* const names[] = {L"..\\escape", L"../../escape", L"C:\\escape", L"\\\\server\\share\\escape",
                                  L"a:stream", L"CON", L"nul.txt", L"..", L".", L"tab\there", L"name. . "};
  for (const wchar_t* name : names) {
    helper::disk::createShortcut(name, L"", L"", folder_ + L"corvide.exe", L"x");
  }
  // Everything written is a link directly in the desktop folder.
  for (const fs::path& file : filesBelow(temp_.path())) {
    EXPECT_EQ(file.parent_path(), desktop_) << file;
    EXPECT_EQ(file.extension(), ".lnk") << file;
    EXPECT_EQ(readLink(file).loaded, S_OK) << file;
  }
  std::vector<fs::path> expected;
  for (const char* name : {"_escape", "_.._escape", "C__escape", "__server_share_escape", "a_stream", "_CON",
                           "_nul.txt", "tab_here", "name"}) {
    expected.push_back(desktop_ / (std::string(name) + ".lnk"));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(filesBelow(desktop_), expected);  // ".." and "." leave no usable name
}

TEST_F(ShellLinks, FailuresAreLoggedAndReported) {
  struct Case {
    const char* label;
    fs::path desktop;
    const wchar_t* link;
    const wchar_t* target;
    const wchar_t* logged;
  };
  fs::create_directories(temp_.path() / "plain");
  std::ofstream(temp_.path() / "plain" / "file") << "x";
  const Case cases[] = {
      {"desktop folder is a file", temp_.path() / "plain" / "file", L"a", L"C:\\x.exe",
       L"install 2 of create shortcut failed!"},
      {"no usable link name", desktop_, L"..", L"C:\\x.exe", L"install 3 of create shortcut failed!"},
      {"no target", desktop_, L"a", L"", L"install 3 of create shortcut failed!"},
  };
  for (const Case& c : cases) {
    utility::ufile::setDesktopDirForTesting(c.desktop);
    {
      std::lock_guard<std::mutex> lock(gLogMutex);
      gLog.clear();
    }
    EXPECT_FALSE(helper::disk::createShortcut(c.link, L"", L"", c.target, L"")) << c.label;
    EXPECT_TRUE(logged(c.logged)) << c.label;
  }
}

// The whole path stays within what the shell takes: a long name on a deep desktop folder is cut.
TEST_F(ShellLinks, LongNamesAreCutToFitThePath) {
  const size_t depth = 240 - temp_.path().wstring().size() - 1;
  const fs::path deep = temp_.path() / std::string(depth, 'd');
  utility::ufile::setDesktopDirForTesting(deep);
  ASSERT_TRUE(helper::disk::createShortcut(std::wstring(100, L'n'), L"", L"", folder_ + L"corvide.exe", L""));
  const std::vector<fs::path> files = filesBelow(deep);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].wstring().size(), 259u);
  EXPECT_EQ(files[0].filename().wstring(), std::wstring(259 - 240 - 1 - 4, L'n') + L".lnk");
  EXPECT_EQ(readLink(files[0]).loaded, S_OK);
}

TEST_F(ShellLinks, MissingDesktopFolderIsCreated) {
  ASSERT_FALSE(fs::exists(desktop_));
  EXPECT_TRUE(helper::disk::createShortcut(L"X", L"", L"", folder_ + L"corvide.exe", L""));
  EXPECT_TRUE(fs::exists(desktop_ / "X.lnk"));
}

// The call joins COM on its thread only for itself: a thread without COM has none afterwards,
// and a thread in the multi-threaded apartment stays there.
TEST_F(ShellLinks, ComIsBalancedOnTheCallingThread) {
  for (const DWORD model : {DWORD{0}, static_cast<DWORD>(COINIT_MULTITHREADED)}) {
    HRESULT after = E_FAIL;
    bool made = false;
    std::thread worker([&] {
      const bool joined = model != 0 && SUCCEEDED(::CoInitializeEx(nullptr, model));
      made = helper::disk::createShortcut(L"Balanced", L"", L"", folder_ + L"corvide.exe", L"");
      // Joining the multi-threaded apartment succeeds with S_OK only on a thread outside COM,
      // with S_FALSE only on one already in it.
      after = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      if (SUCCEEDED(after)) ::CoUninitialize();
      if (joined) ::CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(made) << model;
    EXPECT_EQ(after, model == 0 ? S_OK : S_FALSE) << model;
  }
}

}  // namespace
