// The Linux side of the process utilities: Windows paths through the drive table, descriptors,
// signals, sessions and the openers of openUrl.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/test_fs.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/command_line_split.h"
#include "utility/system/drive_table.h"
#include "utility/system/linux/process_linux.h"
#include "utility/system/log.h"
#include "utility/system/process.h"

namespace fs = std::filesystem;
using utility::process::execute;
using utility::process::kInfinite;

namespace {

// Long enough that a child that never ends is told apart from one that was not waited for; only
// a failing test ever waits this long.
constexpr int kFailureLimitMs = 60000;

std::mutex logMutex;
std::vector<std::string> logRecords;

void captureLog(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(logMutex);
  logRecords.push_back(std::string(function) + "|" + utility::wideToUtf8(text));
}

std::wstring wide(const std::string& text) { return utility::utf8ToWide(text); }

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Whether the process behind |pidfd| ends within |limitMs|.
bool endsWithin(int pidfd, int limitMs) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, limitMs) == 1;
}

// Reads what one writer puts into the FIFO at |path| until it closes it; empty when no writer
// came within the failure limit.
std::string readFifo(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  while (true) {
    // A FIFO that never had a writer reports nothing, so this waits for the child.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kFailureLimitMs) != 1) break;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0 || errno != EAGAIN) break;
  }
  ::close(fd);
  return text;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LinuxProcessTest : public ::testing::Test {
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
    utility::setDriveTableForTesting({});
    for (const int fd : held_) {
      ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
      ::close(fd);
    }
  }

  std::vector<std::string> logged() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logRecords;
  }

  // A copy of the helper program named |name| (unique to this test run: the folder's own
  // name goes in front, so runs side by side never see each other's processes by name).
  std::string uniqueName(const std::string& name) const {
    return temp_.path().filename().string() + "-" + name;
  }
  fs::path installHelper(const std::string& name, const fs::path& folder = {}) {
    const fs::path dir = folder.empty() ? temp_.path() : folder;
    fs::create_directories(dir);
    const fs::path path = dir / name;
    fs::copy_file(PROCESS_HELPER, path);
    return path;
  }
  fs::path fifo(const std::string& name) {
    const fs::path path = temp_.path() / name;
    EXPECT_TRUE(testfs::makeFifo(path.string()));
    return path;
  }
  // Keeps a pidfd on |pid| so the process is ended when the test ends, whatever happened.
  int hold(pid_t pid) {
    const int fd = pidfdOpen(pid);
    EXPECT_GE(fd, 0) << "process " << pid << " is gone";
    if (fd >= 0) held_.push_back(fd);
    return fd;
  }
  static void kill(int pidfd) { ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0); }

  testsupport::TempFolder temp_{"process"};
  std::vector<int> held_;
};

// A child ended by a signal reports 128 + the signal, as a shell does.
TEST_F(LinuxProcessTest, ExecuteOfAChildEndedByASignal) {
  const fs::path helper = installHelper("probe.exe");
  EXPECT_FALSE(execute(wide(helper.string()), L"signal 9", false, kInfinite));
  EXPECT_EQ(logged(), (std::vector<std::string>{
                          "utility::process::create|createProcess filename = [" + helper.string() +
                              "], param = [signal 9], show = 0",
                          "utility::process::execute|execute exitcode = 137 lastError = 0",
                      }));
}

TEST_F(LinuxProcessTest, ArgumentsArriveAsTheTargetSeesThemFromAWindowsPath) {
  utility::setDriveTableForTesting({{L'C', temp_.path().string(), "", ""}, {L'D', (temp_.path() / "d").string(), "", ""}});
  const fs::path helper = installHelper("corvide probe.exe", temp_.path() / "d" / "Tarnwick 9");
  const fs::path record = temp_.path() / "args";
  const std::wstring parameters = wide("args \"" + record.string() + "\" -silence -openid=7 -path=\"D:\\a b\\\"");
  EXPECT_TRUE(execute(L"D:\\Tarnwick 9\\corvide probe.exe", parameters, true, kInfinite));
  const std::string expected = helper.string() + '\0' + "args" + '\0' + record.string() + '\0' + "-silence" + '\0' +
                               "-openid=7" + '\0' + "-path=D:\\a b\"" + '\0';
  EXPECT_EQ(readFile(record), expected);
  EXPECT_EQ(logged().front(),
            "utility::process::create|createProcess filename = [D:\\Tarnwick 9\\corvide probe.exe], param = [" +
                utility::wideToUtf8(parameters) + "], show = 1");
}

TEST_F(LinuxProcessTest, ChildGetsNoDescriptorOfOursAndNoStandardInput) {
  const fs::path helper = installHelper("probe.exe");
  const fs::path open = temp_.path() / "open";
  { std::ofstream(open) << "x"; }
  const int leaked = ::open(open.c_str(), O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(leaked, 3);
  const fs::path record = temp_.path() / "fds";
  EXPECT_TRUE(execute(wide(helper.string()), wide("fds " + record.string()), false, kInfinite));
  ::close(leaked);
  EXPECT_EQ(readFile(record), "0\n1\n2\n0=/dev/null\n");
}

TEST_F(LinuxProcessTest, FailuresToStartThroughTheDriveTableAreLogged) {
  utility::setDriveTableForTesting({{L'C', temp_.path().string(), "", ""}});
  const std::wstring missing[] = {L"C:\\missing.exe", L"Q:\\unknown drive.exe", wide((temp_.path() / "none").string()),
                                  L"tarnwick-no-such-program"};
  for (const std::wstring& file : missing) {
    SCOPED_TRACE(utility::wideToUtf8(file));
    SetUp();
    uint32_t pid = 77;
    EXPECT_FALSE(utility::process::create(file, L"", false, &pid));
    EXPECT_EQ(pid, 77u);
    EXPECT_FALSE(execute(file, L"-x", false, kInfinite));
    EXPECT_FALSE(utility::process::shell(file, L"-x", false, true));
    const std::string name = utility::wideToUtf8(file);
    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "utility::process::create|createProcess filename = [" + name + "], param = [], show = 0",
                            "utility::process::create|createProcess failed!!! lastError = 2",
                            "utility::process::create|createProcess filename = [" + name + "], param = [-x], show = 0",
                            "utility::process::create|createProcess failed!!! lastError = 2",
                            "utility::process::execute|execute failed!!! last error = 2",
                            "utility::process::shell|shell filename = [" + name + "], param = [-x], runas = 0, show = 1",
                            "utility::process::shell|shellEx ret . lastError = 2",
                            "utility::process::shell|shellEx failed!!! lastError = 2",
                        }));
  }
}

TEST_F(LinuxProcessTest, ShellStartsInASessionOfItsOwn) {
  const fs::path helper = installHelper("probe.exe");
  const fs::path report = fifo("report");
  const std::wstring parameters = wide("hold \"" + report.string() + "\"");
  // The child cannot end before the FIFO is read, so returning proves it was not waited for.
  EXPECT_TRUE(utility::process::shell(wide(helper.string()), parameters, true, false));
  pid_t pid = 0;
  pid_t session = 0;
  std::istringstream(readFifo(report)) >> pid >> session;
  ASSERT_GT(pid, 0);
  const int fd = hold(pid);
  EXPECT_EQ(session, pid) << "not in a session of its own";
  EXPECT_NE(session, ::getsid(0));
  EXPECT_FALSE(endsWithin(fd, 0));
  EXPECT_EQ(logged(), (std::vector<std::string>{
                          "utility::process::shell|shell filename = [" + helper.string() + "], param = [" +
                              utility::wideToUtf8(parameters) + "], runas = 1, show = 0",
                          "utility::process::shell|shellEx ret . lastError = 0",
                      }));
}

// PATH names a folder of stand-in openers for one test. openUrl returns once an opener is on its
// way; its verdict is logged when it comes, and what the openers wrote is complete by then.
class OpenUrlTest : public LinuxProcessTest {
 protected:
  void SetUp() override {
    LinuxProcessTest::SetUp();
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    bin_ = temp_.path() / "bin";
    fs::create_directories(bin_);
    ::setenv("PATH", bin_.c_str(), 1);
    utility::process::setOpenerVerdictLimitForTesting(kInfinite);
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    utility::process::setOpenerVerdictLimitForTesting(0);
    LinuxProcessTest::TearDown();
  }
  // A script standing in for an opener: writes its one argument to |out| and exits with |code|,
  // once |waitFor| exists when given.
  void opener(const std::string& name, const fs::path& out, int code, const fs::path& waitFor = {}) {
    const fs::path script = bin_ / name;
    std::ofstream file(script);
    file << "#!/bin/sh\n";
    if (!waitFor.empty()) file << "while [ ! -e '" << waitFor.string() << "' ]; do sleep 0.01; done\n";
    file << "printf '%s|%s' \"$#\" \"$1\" > '" << out.string() << "'\nexit " << code << "\n";
    file.close();
    fs::permissions(script, fs::perms::owner_all);
  }
  // The verdicts openUrl logged so far.
  std::vector<std::string> verdicts() {
    std::vector<std::string> found;
    for (const std::string& record : logged()) {
      if (record.rfind("utility::process::openUrl|", 0) == 0) found.push_back(record);
    }
    return found;
  }
  // Waits (within the failure limit) for |count| verdicts.
  std::vector<std::string> waitForVerdicts(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    while (verdicts().size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return verdicts();
  }
  void clearLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    logRecords.clear();
  }
  std::string savedPath_;
  fs::path bin_;
};

const std::string kHandedOver = "utility::process::openUrl|shellEx ret . lastError = 0";

TEST_F(OpenUrlTest, OpensWithXdgOpenAndHandsTheAddressOverAsOneArgument) {
  const fs::path report = temp_.path() / "report";
  opener("xdg-open", report, 0);
  const std::wstring address = L"https://example.test/a b?x=\"1\"&y=$(id);`id` \u6e38";
  EXPECT_GT(utility::process::openUrl(address), 32);
  EXPECT_EQ(waitForVerdicts(1), std::vector<std::string>{kHandedOver});
  EXPECT_EQ(readFile(report), "1|" + utility::wideToUtf8(address));
  EXPECT_EQ(logged(), std::vector<std::string>{kHandedOver});
}

TEST_F(OpenUrlTest, FallsBackToTheBrowserWhenXdgOpenRefusesOrIsMissing) {
  for (const bool xdgOpenPresent : {true, false}) {
    SCOPED_TRACE(xdgOpenPresent ? "xdg-open refuses" : "no xdg-open");
    clearLog();
    const fs::path refused = temp_.path() / "refused";
    fs::remove(bin_ / "xdg-open");
    if (xdgOpenPresent) opener("xdg-open", refused, 3);
    const fs::path report = temp_.path() / (xdgOpenPresent ? "browser1" : "browser2");
    opener("x-www-browser", report, 0);
    EXPECT_GT(utility::process::openUrl(L"https://example.test/"), 32);
    EXPECT_EQ(waitForVerdicts(1), std::vector<std::string>{kHandedOver});
    EXPECT_EQ(readFile(report), "1|https://example.test/");
  }
  // Every opener refuses: the last refusal is the verdict.
  clearLog();
  fs::remove(bin_ / "x-www-browser");
  opener("xdg-open", temp_.path() / "refused", 3);
  EXPECT_GT(utility::process::openUrl(L"https://example.test/"), 32);
  EXPECT_EQ(waitForVerdicts(1),
            std::vector<std::string>{"utility::process::openUrl|shellEx failed!!! lastError = 3"});
  // No opener at all: known at once.
  clearLog();
  fs::remove(bin_ / "xdg-open");
  EXPECT_LE(utility::process::openUrl(L"https://example.test/"), 32);
  EXPECT_EQ(verdicts(), std::vector<std::string>{"utility::process::openUrl|shellEx failed!!! lastError = 2"});
}

// A link clicked in the window: the main loop goes on while the opener has not answered (here it
// answers only once the loop has run a task posted after the call), and the verdict, the
// browser's after xdg-open refused, is logged afterwards.
TEST_F(OpenUrlTest, TheMainLoopRunsWhileTheOpenerDecides) {
  const fs::path release = temp_.path() / "release";
  opener("xdg-open", temp_.path() / "refused", 3, release);
  const fs::path report = temp_.path() / "browser";
  opener("x-www-browser", report, 0);
  utility::TaskDispatcher::create();
  utility::MainLoop::resetForTesting();

  // Only a failing run needs it: lets a blocked opener answer so the test ends.
  std::atomic<bool> loopRan{false};
  std::atomic<bool> releasedByWatchdog{false};
  std::thread watchdog([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    while (!loopRan && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!loopRan) {
      releasedByWatchdog = true;
      std::ofstream(release) << "x";
    }
  });
  std::vector<std::string> verdictsWhileWaiting{"<not run>"};
  ASSERT_TRUE(utility::runOnMainThread([&] {
    EXPECT_GT(utility::process::openUrl(L"https://example.test/licence"), 32);
    utility::runOnMainThread([&] {
      loopRan = true;
      verdictsWhileWaiting = verdicts();
      std::ofstream(release) << "x";
      utility::MainLoop::quit();
    });
  }));
  utility::MainLoop::run();
  watchdog.join();
  utility::MainLoop::resetForTesting();

  EXPECT_FALSE(releasedByWatchdog) << "the main loop stood still while the opener decided";
  EXPECT_EQ(verdictsWhileWaiting, std::vector<std::string>{});
  EXPECT_EQ(waitForVerdicts(1), std::vector<std::string>{kHandedOver});
  EXPECT_EQ(readFile(report), "1|https://example.test/licence");
}

}  // namespace
