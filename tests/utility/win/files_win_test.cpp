// The Win32 file seams: links and junctions are never written through, the download file is a
// fresh one that takes its name whole, settings files are replaced through ReplaceFileW, and the
// drives, volumes and folders are judged as Windows knows them.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/disk.h"
#include "utility/system/disk_volume.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/profile_file.h"
#include "utility/system/ufile.h"
#include "utility/system/win/disk_win.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::wstring> namesIn(const fs::path& folder) {
  std::set<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().wstring());
  return names;
}

bool isReparsePoint(const fs::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction (mount point) at |at| leading to the folder |target|: what any user may make.
bool makeJunction(const fs::path& at, const fs::path& target) {
  if (!::CreateDirectoryW(at.c_str(), nullptr)) return false;
  HANDLE folder = ::CreateFileW(at.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
  const std::wstring print = fs::absolute(target).wstring();
  const size_t names = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  std::vector<char> buffer(8 + 8 + names);
  auto put16 = [&](size_t at16, size_t value) {
    const auto v = static_cast<uint16_t>(value);
    std::memcpy(buffer.data() + at16, &v, 2);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(buffer.data(), &tag, 4);
  put16(4, 8 + names);                                           // data length
  put16(8, 0);                                                   // substitute name offset
  put16(10, substitute.size() * sizeof(wchar_t));                // substitute name length
  put16(12, (substitute.size() + 1) * sizeof(wchar_t));          // print name offset
  put16(14, print.size() * sizeof(wchar_t));                     // print name length
  std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
              (print.size() + 1) * sizeof(wchar_t));
  DWORD returned = 0;
  const bool made = ::DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr) != 0;
  ::CloseHandle(folder);
  if (!made || !isReparsePoint(at)) {
    ::RemoveDirectoryW(at.c_str());
    return false;
  }
  return true;
}

// A symbolic link to a file, where this user may make one.
// A symbolic link to a file, where this user may make one (Wine 8 answers success and makes
// nothing, so what is there afterwards decides).
bool makeFileLink(const fs::path& at, const fs::path& target) {
  ::CreateSymbolicLinkW(at.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  return isReparsePoint(at);
}

// Whether the file system under |folder| keeps a creation time it is given (Wine's host file
// systems do not).
bool keepsCreationTimes(const fs::path& folder) {
  const fs::path probe = folder / "creation-probe";
  HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME given{};
  given.dwHighDateTime = 0x01D00000;  // some day in 2014
  FILETIME read{};
  const bool kept = ::SetFileTime(file, &given, nullptr, nullptr) && ::GetFileTime(file, &read, nullptr, nullptr) &&
                    std::memcmp(&given, &read, sizeof(FILETIME)) == 0;
  ::CloseHandle(file);
  ::DeleteFileW(probe.c_str());
  return kept;
}

class WinFiles : public ::testing::Test {
 protected:
  std::wstring text(const fs::path& path) const { return path.wstring(); }
  testsupport::TempFolder temp_{"files-win"};
  fs::path root_ = temp_.path();
};

// Nothing the installer writes goes through a link or junction planted at its name: the
// download file, the log and a copy's source are refused, the target stays as it was.
TEST_F(WinFiles, LinksAndJunctionsAreNeverWrittenThrough) {
  const fs::path victim = root_ / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep me";
  const fs::path victimFolder = root_ / "victims";
  fs::create_directory(victimFolder);
  const bool junction = makeJunction(root_ / "junction.part", victimFolder);
  const bool link = makeFileLink(root_ / "link.part", victim);
  if (!junction && !link) GTEST_SKIP() << "this system makes neither junctions nor links here";

  std::vector<fs::path> planted;
  if (junction) planted.push_back(root_ / "junction.part");
  if (link) planted.push_back(root_ / "link.part");
  for (const fs::path& at : planted) {
    SCOPED_TRACE(at.filename().string());
    ASSERT_TRUE(isReparsePoint(at));
    utility::FileHandle file;
    int error = 0;
    EXPECT_FALSE(file.open(text(at), error));
    EXPECT_EQ(error, utility::FileHandle::kErrorAccessDenied);
    {
      common::LogWriter writer(at);
      common::LogStream("f", 1, &writer) << std::wstring_view(L"must go nowhere");
      EXPECT_TRUE(writer.flush(5000));
    }
    EXPECT_FALSE(utility::ufile::setExecutable(text(at)));
    utility::ufile::setAlwaysCopyOnMoveForTesting(true);
    EXPECT_FALSE(utility::ufile::moveFile(text(at), text(root_ / "copied.bin"), 3));
    utility::ufile::setAlwaysCopyOnMoveForTesting(false);
    EXPECT_FALSE(fs::exists(root_ / "copied.bin"));
    EXPECT_TRUE(isReparsePoint(at));  // left as it was
  }
  EXPECT_EQ(readFile(victim), "keep me");
  EXPECT_TRUE(fs::is_empty(victimFolder));
  if (junction) {
    // A junction to a folder is a folder for those who only want one there.
    EXPECT_TRUE(utility::ufile::makeDir(text(root_ / "junction.part")));
    EXPECT_TRUE(utility::ufile::makeDir(text(root_ / "junction.part" / "inside")));
    EXPECT_TRUE(fs::is_directory(victimFolder / "inside"));
  }
  if (link) {
    // Removing a link removes the link, never what it leads to.
    EXPECT_TRUE(utility::ufile::removeFile(text(root_ / "link.part")));
    EXPECT_EQ(readFile(victim), "keep me");
  }
}

// The download file is a fresh one: a file at its name, also one reached by another name, is
// replaced as a name and never written into; nothing is left beside it.
TEST_F(WinFiles, TheDownloadFileIsAFreshFileThatTakesTheName) {
  const fs::path target = root_ / L"setup \u6e38.part";
  std::ofstream(target, std::ios::binary) << "old content";
  ASSERT_TRUE(::CreateHardLinkW((root_ / "alias.part").c_str(), target.c_str(), nullptr));
  {
    utility::FileHandle file;
    ASSERT_TRUE(file.open(text(target)));
    EXPECT_TRUE(file.write("new", 3));
  }
  EXPECT_EQ(readFile(root_ / "alias.part"), "old content");
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(namesIn(root_), (std::set<std::wstring>{L"setup \u6e38.part", L"alias.part"}));

  // A file others hold open cannot be replaced: a failure with the system's code, the file as
  // it was, nothing beside it.
  HANDLE holder = ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  utility::FileHandle blocked;
  int error = 0;
  EXPECT_FALSE(blocked.open(text(target), error));
  EXPECT_NE(error, 0);
  ::CloseHandle(holder);
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(namesIn(root_), (std::set<std::wstring>{L"setup \u6e38.part", L"alias.part"}));

  // Missing folders and names the system refuses give its codes, as callers log them.
  utility::FileHandle other;
  EXPECT_FALSE(other.open(text(root_ / "missing" / "f.part"), error));
  EXPECT_EQ(error, utility::FileHandle::kErrorPathNotFound);
}

// Paths beyond the classic 260 characters work for every file operation.
TEST_F(WinFiles, LongPathsAreFilesLikeAnyOther) {
  fs::path deep = root_;
  std::wstring folderText = text(root_);
  while (folderText.size() < 300) {
    deep /= std::wstring(60, L'f');
    folderText = text(deep);
  }
  EXPECT_TRUE(utility::ufile::makeDir(folderText));
  const std::wstring file = folderText + L"\\setup.exe.part";
  utility::FileHandle handle;
  ASSERT_TRUE(handle.open(file));
  EXPECT_TRUE(handle.write("12345", 5));
  handle.close();
  uint64_t size = 0;
  EXPECT_TRUE(utility::ufile::fileSize(file, size));
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(utility::ufile::moveFile(file, folderText + L"\\setup.exe", 3));
  EXPECT_TRUE(utility::ufile::exists(folderText + L"\\setup.exe"));
  EXPECT_TRUE(utility::profile::writeString(L"setting", L"a", L"1", folderText + L"\\data.ini"));
  EXPECT_TRUE(utility::ufile::removeFile(folderText + L"\\setup.exe"));
}

// A settings file is replaced through ReplaceFileW: the new content arrives whole, the file keeps
// its attributes and creation time, a second name of the old file keeps the old content.
TEST_F(WinFiles, SettingsFilesAreReplacedKeepingTheirAttributes) {
  const fs::path file = root_ / "data.ini";
  std::ofstream(file, std::ios::binary) << "[setting]\r\nadshow=1\r\n";
  ASSERT_TRUE(::CreateHardLinkW((root_ / "alias.ini").c_str(), file.c_str(), nullptr));
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &before));

  EXPECT_TRUE(utility::profile::writeString(L"setting", L"adshow", L"0", text(file)));
  EXPECT_EQ(readFile(file), "[setting]\r\nadshow=0\r\n");
  EXPECT_EQ(readFile(root_ / "alias.ini"), "[setting]\r\nadshow=1\r\n");
  WIN32_FILE_ATTRIBUTE_DATA after{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &after));
  EXPECT_NE(after.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  if (keepsCreationTimes(root_)) {
    EXPECT_EQ(std::memcmp(&after.ftCreationTime, &before.ftCreationTime, sizeof(FILETIME)), 0);
  }
  EXPECT_EQ(namesIn(root_), (std::set<std::wstring>{L"data.ini", L"alias.ini"}));

  // A link at the name is replaced by the file, never followed.
  const fs::path victim = root_ / "victim.ini";
  std::ofstream(victim, std::ios::binary) << "[setting]\nsecret=1\n";
  if (makeFileLink(root_ / "linked.ini", victim)) {
    EXPECT_TRUE(utility::profile::writeString(L"setting", L"adshow", L"0", text(root_ / "linked.ini")));
    EXPECT_EQ(readFile(victim), "[setting]\nsecret=1\n");
    EXPECT_FALSE(isReparsePoint(root_ / "linked.ini"));
  }
}

// The log is written at the end of the file as it is at each write, while others may read and
// write it too; the log's handle is no inherited one.
TEST_F(WinFiles, LogAppendsAtTheEndWhileOthersShareTheFile) {
  const fs::path log = root_ / "downloader.log";
  common::LogWriter writer(log);
  common::LogStream("f", 1, &writer) << std::wstring_view(L"first");
  ASSERT_TRUE(writer.flush(5000));
  HANDLE other = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(other, "other writer\r\n", 14, &written, nullptr));
  ::CloseHandle(other);
  common::LogStream("f", 2, &writer) << std::wstring_view(L"second");
  ASSERT_TRUE(writer.flush(5000));
  const std::string content = readFile(log);
  const size_t first = content.find("(1):first\r\n");
  const size_t middle = content.find("other writer\r\n");
  const size_t second = content.find("(2):second\r\n");
  ASSERT_NE(first, std::string::npos) << content;
  ASSERT_NE(middle, std::string::npos) << content;
  ASSERT_NE(second, std::string::npos) << content;
  EXPECT_LT(first, middle);
  EXPECT_LT(middle, second);
}

// The drives Windows lists as fixed, in letter order; the table and path texts are the system's.
TEST(WinDrives, FixedDrivesAreTheSystemsOwn) {
  const std::vector<std::wstring> roots = helper::disk::fixedDrives();
  ASSERT_FALSE(roots.empty());
  wchar_t windows[MAX_PATH + 1] = {};
  ASSERT_GT(::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1), 2u);
  bool systemDrive = false;
  for (size_t i = 0; i < roots.size(); ++i) {
    const std::wstring& root = roots[i];
    SCOPED_TRACE(utility::wideToUtf8(root));
    ASSERT_EQ(root.size(), 3u);
    EXPECT_EQ(root.substr(1), L":\\");
    EXPECT_EQ(::GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_FIXED));
    if (i > 0) {
      EXPECT_LT(roots[i - 1], root);
    }
    if (::towupper(root[0]) == ::towupper(windows[0])) systemDrive = true;
  }
  EXPECT_TRUE(systemDrive);
  utility::setDriveTableForTesting({});
  const std::vector<utility::Drive> table = utility::driveTable();
  ASSERT_EQ(table.size(), roots.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].letter, roots[i][0]);
    EXPECT_EQ(utility::utf8ToWide(table[i].root), roots[i]);
  }
  // Windows texts are the system's paths as they are.
  const std::wstring path = L"D:\\Tarnwick\\..\\T\u00e4rnwick9\\";
  EXPECT_EQ(utility::toHostPath(path).native(), path);
  EXPECT_EQ(utility::fromHostPath(fs::path(path)), path);
}

// Free space and file system as the volume reports them; a device that does not say whether it
// seeks (Wine answers error 50) is not taken for a solid-state disk.
TEST(WinDrives, VolumeFactsAndUnansweredStorageQueries) {
  testsupport::TempFolder temp("volume");
  const std::wstring folder = temp.path().wstring();
  const std::wstring root = folder.substr(0, 3);
  ULARGE_INTEGER available{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr));
  EXPECT_NEAR(helper::disk::freeSpaceMiB(folder), static_cast<double>(available.QuadPart) / 1048576.0, 512.0);
  wchar_t name[MAX_PATH + 1] = {};
  ASSERT_TRUE(::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1));
  EXPECT_EQ(helper::disk::volume::fileSystemName(root), std::wstring(name));
  EXPECT_EQ(helper::disk::usableFreeSpaceMiB(folder) > 0, helper::disk::isAcceptedFileSystem(name));

  DWORD error = 0;
  const std::optional<bool> seekPenalty = helper::disk::win::seekPenaltyOf(root.substr(0, 2), &error);
  if (!seekPenalty) {
    EXPECT_NE(error, 0u);
    const std::optional<bool> trim = helper::disk::win::trimEnabledOf(root.substr(0, 2));
    if (!trim) {
      EXPECT_FALSE(helper::disk::isSsd(root.substr(0, 2)));
    }
  }
  EXPECT_FALSE(helper::disk::win::seekPenaltyOf(L"", &error).has_value());

  // Both answers, one or none: the solid-state rule.
  struct Case {
    std::optional<bool> seekPenalty;
    std::optional<bool> trim;
    std::optional<bool> solid;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt}, {false, true, true},          {false, false, false},
      {true, true, false},                        {true, std::nullopt, false},  {false, std::nullopt, true},
      {std::nullopt, true, true},                 {std::nullopt, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(helper::disk::win::solidStateFrom(c.seekPenalty, c.trim), c.solid)
        << (c.seekPenalty ? static_cast<int>(*c.seekPenalty) : -1) << " " << (c.trim ? static_cast<int>(*c.trim) : -1);
  }
}

// Installation folders judged as Windows knows them: a drive that is not there, a file in the
// way, a folder this user may not write in, names too long, and folders that are fine.
TEST(WinDrives, InstallFolderProblemsOnRealFolders) {
  using helper::disk::InstallPathProblem;
  testsupport::TempFolder temp("install-path");
  const std::wstring base = temp.path().wstring();
  std::ofstream(temp.path() / "file.txt") << "x";
  fs::create_directory(temp.path() / "games");
  // A letter no drive has.
  std::wstring missing;
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'Z'; letter >= L'D' && missing.empty(); --letter) {
    if ((drives & (1u << (letter - L'A'))) == 0) missing = std::wstring(1, letter) + L":\\Tarnwick\\";
  }
  ASSERT_FALSE(missing.empty());
  struct Case {
    std::wstring path;
    InstallPathProblem problem;
  };
  const Case cases[] = {
      {base + L"\\games\\Tarnwick\\Tarnwick9\\", InstallPathProblem::none},
      {base + L"\\games", InstallPathProblem::none},
      {base + L"\\not\\there\\yet", InstallPathProblem::none},
      {base.substr(0, 3), InstallPathProblem::none},
      {missing, InstallPathProblem::notOnADrive},
      {base.substr(0, 2), InstallPathProblem::notOnADrive},
      {base + L"\\file.txt", InstallPathProblem::notAFolder},
      {base + L"\\file.txt\\Tarnwick\\", InstallPathProblem::notAFolder},
      {base + L"\\" + std::wstring(256, L'n'), InstallPathProblem::tooLong},
      {base + L"\\a?b", InstallPathProblem::invalidCharacters},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(helper::disk::installPathProblem(c.path), c.problem)
        << utility::wideToUtf8(c.path) << ": "
        << utility::wideToUtf8(helper::disk::installPathProblemName(helper::disk::installPathProblem(c.path)));
  }
  // Judging a folder leaves nothing behind in it.
  EXPECT_EQ(namesIn(temp.path()), (std::set<std::wstring>{L"file.txt", L"games"}));
  EXPECT_TRUE(fs::is_empty(temp.path() / "games"));
}

}  // namespace
