// The Win32 process layer where Windows differs: the desktop shell's token, the instance receiver
// and mutex seen from another process, exit codes past one byte, and openUrl through the shell.
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
#include <cwctype>

#include "tests/support/temp_folder.h"
#include "tests/utility/instance_test_support.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/shell_token.h"
#include "utility/system/usystem.h"
#include "utility/system/win/shell_token_win.h"
#include "utility/system/window_ipc.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFailureLimitMs = 60000;

std::mutex logMutex;
std::vector<std::string> logRecords;

void captureLog(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(logMutex);
  logRecords.push_back(std::string(function) + "|" + utility::wideToUtf8(text));
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits within the failure limit for |done|, running this thread's messages meanwhile.
template <typename Done>
bool pumpUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MSG message;
    bool any = false;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
      any = true;
    }
    if (!any) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

class ProcessWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(logMutex);
      logRecords.clear();
    }
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

  std::vector<std::string> logged() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logRecords;
  }
  std::wstring unique(const wchar_t* what) const {
    return std::wstring(what) + L"-" + utility::utf8ToWide(temp_.path().filename().string());
  }
  fs::path installHelper(const std::string& name) {
    const fs::path path = temp_.path() / name;
    fs::copy_file(PROCESS_HELPER, path);
    return path;
  }
  // Runs the helper with |parameters| to its end; its exit code.
  int runHelper(const std::wstring& parameters) {
    const fs::path helper = temp_.path() / "helper.exe";
    if (!fs::exists(helper)) fs::copy_file(PROCESS_HELPER, helper);
    utility::process::ProcessHandle process = utility::process::create(helper.wstring(), parameters, false);
    int exitCode = -1;
    int error = 0;
    if (!process || process.wait(kFailureLimitMs, exitCode, error) != utility::process::ProcessHandle::Wait::ended) {
      return -1;
    }
    return exitCode;
  }
  // Starts |program| with |parameters| and keeps it until the test ends.
  DWORD startHeld(const fs::path& program, const std::wstring& parameters) {
    uint32_t pid = 0;
    utility::process::ProcessHandle process = utility::process::create(program.wstring(), parameters, false, &pid);
    EXPECT_TRUE(process);
    const HANDLE handle = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (handle != nullptr) held_.push_back(handle);
    return pid;
  }
  // What a helper wrote to |path| once it is there (written whole by a rename).
  static std::string waitForFile(const fs::path& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    std::string text = readFile(path);
    while ((text.empty() || text.back() != '\n') && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      text = readFile(path);
    }
    return text;
  }

  testsupport::TempFolder temp_{"process-win"};
  std::vector<HANDLE> held_;
};

// Exit codes are 32 bits wide on Windows, and a time limit leaves the program running.
TEST_F(ProcessWinTest, ExitCodesAreWholeAndALimitLeavesTheProgramRunning) {
  const struct {
    const wchar_t* parameters;
    int exitCode;
  } cases[] = {{L"exit 300", 300}, {L"exit 70000", 70000}, {L"exit -2", -2}};
  for (const auto& c : cases) {
    EXPECT_EQ(runHelper(c.parameters), c.exitCode) << utility::wideToUtf8(c.parameters);
  }
  const fs::path helper = installHelper("limit.exe");
  const fs::path file = temp_.path() / "limit";
  EXPECT_FALSE(utility::process::execute(helper.wstring(), L"hold-file \"" + file.wstring() + L"\"", false, 100));
  const std::string pid = waitForFile(file);
  ASSERT_FALSE(pid.empty());
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(pid));
  ASSERT_NE(process, nullptr);
  held_.push_back(process);
  EXPECT_EQ(::WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// The mutex as another process sees it: taken while held, free once let go.
TEST_F(ProcessWinTest, AnotherProcessSeesTheInstanceMutexAsLongAsItIsHeld) {
  const std::wstring name = unique(L"{MUTEX}");
  utility::usystem::InstanceMutex held = utility::usystem::createInstanceMutex(name, false, true);
  ASSERT_TRUE(held.valid());
  EXPECT_EQ(runHelper(L"mutex " + name), ERROR_ALREADY_EXISTS);
  held.close();
  EXPECT_EQ(runHelper(L"mutex " + name), 0);
}

// A second launch posts 11123 from its own process; a close posted by anyone leaves the receiver
// in place, so later launches still find it.
TEST_F(ProcessWinTest, TheReceiverGetsTheInstanceMessageFromAnotherProcess) {
  struct Recorder : utility::IWindowIPCHandle {
    std::vector<unsigned> messages;
    int onHandleWindowIPC(unsigned message, uintptr_t, intptr_t) override {
      messages.push_back(message);
      return 0;
    }
  } recorder;
  if (!instancetest::desktopWindowsAvailable()) {
    GTEST_SKIP() << "no window can be made here (Wine without an X server): run under an X server";
  }
  const std::wstring className = unique(L"{RECEIVER}");
  utility::WindowIPC receiver;
  ASSERT_TRUE(receiver.create(className, &recorder));
  const fs::path helper = installHelper("post.exe");
  // The helper blocks on nothing of ours, so it runs while this thread pumps.
  auto post = [&](unsigned message) {
    utility::process::ProcessHandle process =
        utility::process::create(helper.wstring(), L"post " + className + L" " + std::to_wstring(message), false);
    int exitCode = -1;
    int error = 0;
    EXPECT_TRUE(pumpUntil([&] {
      return process.wait(0, exitCode, error) != utility::process::ProcessHandle::Wait::timedOut;
    }));
    EXPECT_EQ(exitCode, 0) << "not found or not posted: " << message;
  };
  post(WM_CLOSE);
  post(11123);
  EXPECT_TRUE(pumpUntil([&] { return !recorder.messages.empty(); }));
  EXPECT_EQ(recorder.messages, std::vector<unsigned>{11123u});
  utility::WindowIPC finder;
  EXPECT_TRUE(finder.open(className));
  receiver.close();
  EXPECT_FALSE(finder.open(className));
}

// The shell's token: the first process running the shell program gives its token, and a
// program started with it runs with the arguments it was given. A test process stands in for
// the shell, so this holds whether or not Wine runs its own.
TEST_F(ProcessWinTest, AProgramStartsWithTheTokenOfTheShellProcess) {
  const fs::path shell = installHelper("shell.exe");
  const fs::path shellFile = temp_.path() / "shell-running";
  startHeld(shell, L"hold-file \"" + shellFile.wstring() + L"\"");
  ASSERT_FALSE(waitForFile(shellFile).empty());
  utility::process::setShellProgramForTesting(shell.wstring());

  int status = -1;
  utility::process::ShellToken token = utility::process::takeShellToken(status);
  ASSERT_TRUE(token) << "status " << status;
  EXPECT_EQ(status, 0);
  const fs::path program = installHelper("emulator probe.exe");
  const fs::path record = temp_.path() / "args";
  const std::wstring commandLine =
      L"\"" + program.wstring() + L"\" args \"" + record.wstring() + L"\" downloadpackage=a.b|package=a.b";
  int error = -1;
  ASSERT_TRUE(utility::process::startWithShellToken(token, commandLine, error)) << "error " << error;
  EXPECT_EQ(error, 0);
  const std::string narrowProgram = utility::wideToUtf8(program.wstring());
  const std::string expected = narrowProgram + '\0' + "args" + '\0' + utility::wideToUtf8(record.wstring()) + '\0' +
                               "downloadpackage=a.b|package=a.b" + '\0';
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
  while (readFile(record) != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(readFile(record), expected);

  // A program that is not there: the start fails with the system's "not found".
  EXPECT_FALSE(utility::process::startWithShellToken(token, L"\"" + (temp_.path() / "none.exe").wstring() + L"\"", error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

// No process runs the shell program: no token, status 2, and the shell start (the fallback of the
// emulator's launch) still starts the program. The shell's path is compared exactly: a letter in
// another case is another program.
TEST_F(ProcessWinTest, WithoutAShellProcessTheShellStartStartsTheProgram) {
  const fs::path shell = installHelper("shell.exe");
  const fs::path shellFile = temp_.path() / "shell-running";
  startHeld(shell, L"hold-file \"" + shellFile.wstring() + L"\"");
  ASSERT_FALSE(waitForFile(shellFile).empty());
  std::wstring otherCase = shell.wstring();
  otherCase.replace(otherCase.size() - 9, 9, L"SHELL.exe");
  for (const std::wstring& program : {(temp_.path() / "no-shell.exe").wstring(), otherCase}) {
    SCOPED_TRACE(utility::wideToUtf8(program));
    utility::process::setShellProgramForTesting(program);
    int status = -1;
    EXPECT_FALSE(utility::process::takeShellToken(status));
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  }
  const fs::path program = installHelper("fallback probe.exe");
  const fs::path file = temp_.path() / "fallback";
  EXPECT_TRUE(utility::process::shell(program.wstring(), L"hold-file \"" + file.wstring() + L"\"", true, false));
  const std::string pid = waitForFile(file);
  ASSERT_FALSE(pid.empty());
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(pid));
  if (process != nullptr) held_.push_back(process);
}

// The real rule against whatever this system runs: a token exactly when a process runs
// "<Windows folder>\explorer.exe" (or one named "explorer.exe" whose path cannot be read), and
// otherwise status 2, so the launch falls back to the shell start.
TEST_F(ProcessWinTest, TheRealShellRuleAgreesWithTheRunningProcesses) {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH + 1);
  ASSERT_GT(length, 0u);
  const std::wstring shellPath = std::wstring(folder, length) + L"\\explorer.exe";
  int status = -1;
  utility::process::ShellToken token = utility::process::takeShellToken(status);
  if (token) {
    EXPECT_EQ(status, 0);
  } else {
    EXPECT_NE(status, 0);
    std::cout << "no shell process runs \"" << utility::wideToUtf8(shellPath) << "\" here (status " << status
              << "): the emulator's launch takes the shell start\n";
  }
}

// openUrl hands an address to the shell on a thread of its own and logs its verdict: here an
// address scheme registered for this test, whose handler is the helper program.
TEST_F(ProcessWinTest, OpenUrlHandsTheAddressToItsRegisteredHandler) {
  const fs::path handler = installHelper("handler.exe");
  const fs::path record = temp_.path() / "opened";
  std::wstring scheme = L"tarnwick-test-" + utility::utf8ToWide(temp_.path().filename().string());
  for (wchar_t& c : scheme) c = static_cast<wchar_t>(std::towlower(c));
  // Registered where the shell looks for address schemes (the classes of every user here).
  const std::wstring key = scheme;
  const std::wstring command = L"\"" + handler.wstring() + L"\" args \"" + record.wstring() + L"\" \"%1\"";
  HKEY classKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classKey, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(classKey, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
  HKEY commandKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(classKey, L"shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &commandKey,
                              nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(commandKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(commandKey);
  ::RegCloseKey(classKey);

  const std::wstring address = scheme + L":open?x=1&y=a b";
  EXPECT_GT(utility::process::openUrl(address), 32);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
  auto verdicts = [&] {
    std::vector<std::string> found;
    for (const std::string& r : logged()) {
      if (r.rfind("utility::process::openUrl|", 0) == 0) found.push_back(r);
    }
    return found;
  };
  const std::string narrowAddress = utility::wideToUtf8(address);
  while ((verdicts().empty() || readFile(record).find(narrowAddress) == std::string::npos) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  EXPECT_EQ(verdicts(), std::vector<std::string>{"utility::process::openUrl|shellEx ret . lastError = 0"});
  const std::string opened = readFile(record);
  EXPECT_NE(opened.find(narrowAddress), std::string::npos) << opened;
}

}  // namespace
