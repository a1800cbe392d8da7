// The emulator's launch on Windows, with the process tests' helper program placed as
// "corvide.exe": from 6.2 on through the desktop shell's token (a test process stands in for
// the shell), through the shell start when no shell process runs; before 6.2 through the shell
// start alone. Which of these the system takes follows the version it reports (Wine: 6.1 unless
// its prefix says otherwise).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/usystem.h"
#include "utility/system/win/shell_token_win.h"

namespace fs = std::filesystem;

// Reaches the model's launch with a chosen installation folder.
class DownloaderModelTest {
 public:
  static void runPlayer(const std::wstring& installPath, const std::wstring& parameters) {
    auto* model = new DownloaderModel();
    model->installPath_ = installPath;
    model->runPlayer(parameters);
    delete model;
  }
};

namespace {

constexpr int kFailureLimitMs = 60000;

std::mutex logMutex;
std::vector<std::wstring> launchRecords;

void captureLog(const char* function, int, const wchar_t* text) {
  const std::string label = function;
  if (label != "DownloaderModel::runPlayer" && label != "utility::process::shell") return;
  std::lock_guard<std::mutex> lock(logMutex);
  launchRecords.push_back(text);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RunPlayerWin : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = temp_.path() / "Tarnwick" / "Tarnwick9";
    fs::create_directories(install_);
    fs::copy_file(PROCESS_HELPER, install_ / "corvide.exe");
    common::setLogHook(&captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    utility::process::setShellProgramForTesting(L"");
    for (const HANDLE process : held_) {
      ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, kFailureLimitMs);
      ::CloseHandle(process);
    }
  }
  static std::vector<std::wstring> launchLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    return launchRecords;
  }
  // What the started emulator wrote (its argument vector), once it ends with |arguments|.
  static std::string waitForRecord(const fs::path& record, const std::string& arguments) {
    auto endsWithThem = [&](const std::string& text) {
      return text.size() >= arguments.size() && text.compare(text.size() - arguments.size(), arguments.size(), arguments) == 0;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    while (!endsWithThem(readFile(record)) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return readFile(record);
  }
  // A running process for the shell, held until the test ends.
  void offerShell() {
    const fs::path shell = temp_.path() / "shell.exe";
    fs::copy_file(PROCESS_HELPER, shell);
    const fs::path running = temp_.path() / "shell-running";
    uint32_t pid = 0;
    ASSERT_TRUE(utility::process::create(shell.wstring(), L"hold-file \"" + running.wstring() + L"\"", false, &pid));
    const HANDLE handle = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (handle != nullptr) held_.push_back(handle);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    while (readFile(running).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    utility::process::setShellProgramForTesting(shell.wstring());
  }
  void clearLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    launchRecords.clear();
  }

  testsupport::TempFolder temp_{"run-player-win"};
  fs::path install_;
  std::vector<HANDLE> held_;
};

TEST_F(RunPlayerWin, ByTheShellTokenOrTheShellStartAsTheSystemVersionSays) {
  const utility::usystem::OsVersion version = utility::usystem::osVersion();
  const bool tokenSystem = !version.before(6, 2);
  std::cout << "system version " << version.major << "." << version.minor << ": "
            << (tokenSystem ? "the shell's token, the shell start without a shell" : "the shell start") << "\n";
  for (const bool shellRuns : {true, false}) {
    SCOPED_TRACE(shellRuns ? "a shell process runs" : "no shell process");
    clearLog();
    if (shellRuns) {
      offerShell();
    } else {
      utility::process::setShellProgramForTesting((temp_.path() / "no-shell.exe").wstring());
    }
    const fs::path record = temp_.path() / (shellRuns ? "with-shell" : "without-shell");
    const std::wstring folder = install_.wstring() + L"\\";  // a trailing backslash gives "\\corvide.exe"
    const std::wstring parameters = L"args \"" + record.wstring() + L"\" downloadpackage=a.b|package=a.b";
    DownloaderModelTest::runPlayer(folder, parameters);
    // The program's own name as the start wrote it (the shell may tidy the doubled backslash),
    // then the arguments exactly.
    const std::string arguments = std::string("corvide.exe") + '\0' + "args" + '\0' +
                                  utility::wideToUtf8(record.wstring()) + '\0' + "downloadpackage=a.b|package=a.b" + '\0';
    const std::string written = waitForRecord(record, arguments);
    EXPECT_EQ(written.rfind(utility::wideToUtf8(install_.wstring()), 0), 0u) << written;
    EXPECT_TRUE(written.size() >= arguments.size() &&
                written.compare(written.size() - arguments.size(), arguments.size(), arguments) == 0)
        << written;

    const std::wstring shellStart = L"shell filename = [" + folder + L"\\corvide.exe], param = [" + parameters +
                                    L"], runas = 1, show = 0";
    std::vector<std::wstring> log = launchLog();
    if (!tokenSystem) {
      ASSERT_EQ(log.size(), 2u);
      EXPECT_EQ(log[0], shellStart);
      continue;
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], L"runPlayer no amdin");
    if (shellRuns) {
      EXPECT_EQ(log.size(), 1u) << "the token start failed: " << utility::wideToUtf8(log.back());
    } else {
      ASSERT_EQ(log.size(), 4u);
      EXPECT_EQ(log[1], L"runPlayer no amdin error 2");
      EXPECT_EQ(log[2], shellStart);
    }
  }
}

}  // namespace
