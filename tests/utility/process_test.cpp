// The process utilities on every platform, against copies of the helper program
// (process_helper.cpp) in a folder of the test's own.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/utility/process_test_support.h"
#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"
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

std::wstring wide(const fs::path& path) { return path.wstring(); }
std::wstring wide(const std::string& text) { return utility::utf8ToWide(text); }
std::string narrow(const fs::path& path) { return utility::wideToUtf8(path.wstring()); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearLog();
    common::setLogHook(&captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    for (const uint32_t pid : held_) processtest::kill(pid);
    for (const uint32_t pid : held_) processtest::endsWithin(pid, kFailureLimitMs);
  }

  static void clearLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    logRecords.clear();
  }
  static std::vector<std::string> logged() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logRecords;
  }

  // A name unique to this test run (the folder's own name goes in front), so runs side by side
  // never see each other's processes by name.
  std::string uniqueName(const std::string& name) const { return temp_.path().filename().string() + "-" + name; }
  fs::path installHelper(const std::string& name, const fs::path& folder = {}) {
    const fs::path dir = folder.empty() ? temp_.path() : folder;
    fs::create_directories(dir);
    const fs::path path = dir / name;
    fs::copy_file(PROCESS_HELPER, path);
    return path;
  }
  // The numbers a helper wrote to |path| once it is there (the helper writes it whole); empty
  // when it did not come within the failure limit.
  std::vector<uint32_t> report(const fs::path& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFailureLimitMs);
    std::string text = readFile(path);
    while ((text.empty() || text.back() != '\n') && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      text = readFile(path);
    }
    std::vector<uint32_t> numbers;
    std::istringstream in(text);
    for (uint32_t n = 0; in >> n;) numbers.push_back(n);
    for (const uint32_t pid : numbers) held_.push_back(pid);  // ended when the test ends
    return numbers;
  }

  testsupport::TempFolder temp_{"process"};
  std::vector<uint32_t> held_;
};

TEST(CommandLineSplit, WindowsRules) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> arguments;
  };
  const Case cases[] = {
      {L"", {}},
      {L" \t ", {}},
      {L"-silence  -downloader\t-openid=7", {L"-silence", L"-downloader", L"-openid=7"}},
      {L"\"C:\\Program Files\\Tarnwick\\corvide.exe\" x", {L"C:\\Program Files\\Tarnwick\\corvide.exe", L"x"}},
      {L"-path=\"D:\\a b\"", {L"-path=D:\\a b"}},
      // A backslash before the closing quote escapes it: the quote stays and grouping goes on.
      {L"-path=\"D:\\a b\\\"", {L"-path=D:\\a b\""}},
      {L"-lang=en -path=\"D:\\Tarnwick\\Tarnwick9\\\" -x", {L"-lang=en", L"-path=D:\\Tarnwick\\Tarnwick9\" -x"}},
      {L"-path=\"D:\\a b\\\\\" -x", {L"-path=D:\\a b\\", L"-x"}},  // 2n backslashes: n, then the quote closes
      {L"a\\\\\\\"b", {L"a\\\"b"}},                                 // 2n+1: n and a literal quote
      {L"C:\\dir\\ x\\\\y", {L"C:\\dir\\", L"x\\\\y"}},          // no quote after: literal
      {L"\"\" a \"\"", {L"", L"a", L""}},
      {L"a\"\"b", {L"ab"}},
      {L"\"say \"\"hi\"\"\"", {L"say \"hi\""}},
      {L"a\"b c\"d e", {L"ab cd", L"e"}},
      {L"\"open end", {L"open end"}},
      {L"name=\u6e38\u620f package=com.x", {L"name=\u6e38\u620f", L"package=com.x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utility::splitCommandLine(c.line), c.arguments) << utility::wideToUtf8(c.line);
  }
}

TEST_F(ProcessTest, ExecuteResultsExitCodesAndTimeLimitZero) {
  const fs::path helper = installHelper("probe.exe");
  struct Case {
    const wchar_t* parameters;
    uint32_t limit;
    bool result;
    const char* exitLog;  // null: the process is not waited for
  };
  const Case cases[] = {
      {L"exit 0", kInfinite, true, "execute exitcode = 0 lastError = 0"},
      {L"exit 1", kInfinite, false, "execute exitcode = 1 lastError = 0"},
      {L"exit 1", 60000, false, "execute exitcode = 1 lastError = 0"},
      {L"exit 3", 0, true, nullptr},  // time limit 0: started is enough
      {L"", kInfinite, true, "execute exitcode = 0 lastError = 0"},  // no empty argument added
      {L"\"\"", kInfinite, false, "execute exitcode = 2 lastError = 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.parameters));
    clearLog();
    EXPECT_EQ(execute(wide(helper), c.parameters, false, c.limit), c.result);
    std::vector<std::string> expected{"utility::process::create|createProcess filename = [" + narrow(helper) +
                                      "], param = [" + utility::wideToUtf8(c.parameters) + "], show = 0"};
    if (c.exitLog) expected.push_back(std::string("utility::process::execute|") + c.exitLog);
    EXPECT_EQ(logged(), expected);
  }
}

// Arguments with blanks, quotes and backslashes arrive as the Windows command-line rules read
// them, from a program path with blanks.
TEST_F(ProcessTest, ArgumentsWithBlanksAndQuotesArriveWhole) {
  const fs::path helper = installHelper("corvide probe.exe", temp_.path() / "Tarnwick 9");
  const fs::path record = temp_.path() / "args";
  const std::wstring parameters =
      L"args \"" + wide(record) + L"\" -silence -openid=7 \"a \\\"quoted\\\" word\" -path=\"D:\\a b\\\\\" -x";
  EXPECT_TRUE(execute(wide(helper), parameters, true, kInfinite));
  const std::string expected = narrow(helper) + '\0' + "args" + '\0' + narrow(record) + '\0' + "-silence" + '\0' +
                               "-openid=7" + '\0' + "a \"quoted\" word" + '\0' + "-path=D:\\a b\\" + '\0' + "-x" +
                               '\0';
  EXPECT_EQ(readFile(record), expected);
  EXPECT_EQ(logged().front(), "utility::process::create|createProcess filename = [" + narrow(helper) +
                                  "], param = [" + utility::wideToUtf8(parameters) + "], show = 1");
}

TEST_F(ProcessTest, FailuresToStartAreLogged) {
  const std::wstring missing[] = {wide(temp_.path() / "none.exe"), wide(temp_.path() / "no folder" / "x.exe"),
                                  L"tarnwick-no-such-program"};
  for (const std::wstring& file : missing) {
    SCOPED_TRACE(utility::wideToUtf8(file));
    clearLog();
    uint32_t pid = 77;
    EXPECT_FALSE(utility::process::create(file, L"", false, &pid));
    EXPECT_EQ(pid, 77u);
    EXPECT_FALSE(execute(file, L"-x", false, kInfinite));
    EXPECT_FALSE(utility::process::shell(file, L"-x", false, true));
    const std::string name = utility::wideToUtf8(file);
    // The error is the system's "file not found"; a missing folder may be told as "path not
    // found" (3) instead.
    std::vector<std::string> log = logged();
    for (std::string& record : log) {
      if (record.size() > 4 && record.compare(record.size() - 4, 4, " = 3") == 0) record.back() = '2';
    }
    const std::string code = "2";
    EXPECT_EQ(log, (std::vector<std::string>{
                       "utility::process::create|createProcess filename = [" + name + "], param = [], show = 0",
                       "utility::process::create|createProcess failed!!! lastError = " + code,
                       "utility::process::create|createProcess filename = [" + name + "], param = [-x], show = 0",
                       "utility::process::create|createProcess failed!!! lastError = " + code,
                       "utility::process::execute|execute failed!!! last error = " + code,
                       "utility::process::shell|shell filename = [" + name + "], param = [-x], runas = 0, show = 1",
                       "utility::process::shell|shellEx ret . lastError = " + code,
                       "utility::process::shell|shellEx failed!!! lastError = " + code,
                   }));
  }
}

TEST_F(ProcessTest, ProcessThatOutlivesItsLimitKeepsRunning) {
  const fs::path helper = installHelper("probe.exe");
  const fs::path file = temp_.path() / "report";
  // The child never ends by itself, so it cannot end before the limit.
  EXPECT_FALSE(execute(wide(helper), L"hold-file \"" + wide(file) + L"\"", false, 50));
  EXPECT_EQ(logged().back(), "utility::process::execute|execute timeout!!!");
  const std::vector<uint32_t> pids = report(file);
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_FALSE(processtest::endsWithin(pids[0], 0)) << "the child was ended at its limit";
}

TEST_F(ProcessTest, CreateGivesTheProcessIdAndAHandleToWaitOn) {
  const fs::path helper = installHelper("probe.exe");
  const fs::path file = temp_.path() / "report";
  uint32_t pid = 0;
  utility::process::ProcessHandle handle =
      utility::process::create(wide(helper), L"hold-file \"" + wide(file) + L"\"", false, &pid);
  ASSERT_TRUE(handle);
  EXPECT_EQ(handle.id(), pid);
  EXPECT_EQ(report(file), std::vector<uint32_t>{pid});
  int exitCode = -1;
  int error = 0;
  EXPECT_EQ(handle.wait(0, exitCode, error), utility::process::ProcessHandle::Wait::timedOut);
  processtest::kill(pid);
  EXPECT_EQ(handle.wait(kInfinite, exitCode, error), utility::process::ProcessHandle::Wait::ended);
  EXPECT_EQ(exitCode, processtest::killedExitCode());
  // Waited to its end: a second wait has nothing to wait on.
  EXPECT_EQ(handle.wait(0, exitCode, error), utility::process::ProcessHandle::Wait::failed);
  EXPECT_NE(error, 0);
}

TEST_F(ProcessTest, ShellAndDetachedStartsReturnAtOnce) {
  const fs::path helper = installHelper("probe.exe");
  {
    const fs::path file = temp_.path() / "shell";
    const std::wstring parameters = L"hold-file \"" + wide(file) + L"\"";
    // The child never ends by itself, so returning proves it was not waited for.
    EXPECT_TRUE(utility::process::shell(wide(helper), parameters, true, false));
    ASSERT_EQ(report(file).size(), 1u);
    EXPECT_FALSE(processtest::endsWithin(held_.back(), 0));
    const std::vector<std::string> log = logged();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "utility::process::shell|shell filename = [" + narrow(helper) + "], param = [" +
                          utility::wideToUtf8(parameters) + "], runas = 1, show = 0");
    EXPECT_EQ(log[1].rfind("utility::process::shell|shellEx ret . lastError = ", 0), 0u) << log[1];
  }
  {
    clearLog();
    const fs::path file = temp_.path() / "detached";
    uint32_t pid = 0;
    EXPECT_TRUE(utility::process::startDetached(wide(helper), L"hold-file \"" + wide(file) + L"\"", &pid));
    EXPECT_EQ(report(file), std::vector<uint32_t>{pid});
    EXPECT_FALSE(processtest::endsWithin(pid, 0));
    EXPECT_EQ(logged(), std::vector<std::string>{});  // its caller logs
    EXPECT_FALSE(utility::process::startDetached(wide(temp_.path() / "none.exe"), L""));
    EXPECT_NE(utility::process::lastError(), 0);
  }
}

TEST_F(ProcessTest, SnapshotFindsImageNamesExactly) {
  const std::string name = uniqueName("snapshot-probe.exe");  // longer than Linux's 15-byte name
  const fs::path helper = installHelper(name);
  const fs::path file = temp_.path() / "report";
  uint32_t pid = 0;
  utility::process::ProcessHandle handle =
      utility::process::create(wide(helper), L"hold-file \"" + wide(file) + L"\"", false, &pid);
  ASSERT_TRUE(handle);
  ASSERT_EQ(report(file).size(), 1u);  // running the helper's image now
  utility::process::ProcessSnapshot snapshot;
  snapshot.take();
  ASSERT_EQ(snapshot.count(wide(name)), 1u);
  EXPECT_EQ(snapshot.at(wide(name)), pid);
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& other : {upper, name.substr(0, name.size() - 4), name.substr(0, 15), name + "x"}) {
    EXPECT_EQ(snapshot.count(wide(other)), 0u) << other;
  }
}

TEST_F(ProcessTest, TaskkillEndsTheNamedProcessesAndTheirDescendants) {
  for (const bool tree : {true, false}) {
    SCOPED_TRACE(tree ? "/T" : "no /T");
    const std::string parentName = uniqueName(tree ? "tree-parent.exe" : "lone-parent.exe");
    const fs::path parent = installHelper(parentName);
    const fs::path child = installHelper(uniqueName(tree ? "tree-child.exe" : "lone-child.exe"));
    const fs::path file = temp_.path() / (tree ? "tree" : "lone");
    utility::process::ProcessHandle handle = utility::process::create(
        wide(parent), L"tree-file \"" + wide(child) + L"\" \"" + wide(file) + L"\"", false);
    ASSERT_TRUE(handle);
    const std::vector<uint32_t> pids = report(file);
    ASSERT_EQ(pids.size(), 2u);
    const std::wstring parameters = L"/F /IM " + wide(parentName) + (tree ? L" /T" : L"");
    clearLog();
    EXPECT_TRUE(execute(L"taskkill", parameters, false, 2000));
    // Ended by the time the kill returns: the installer's next step replaces their files.
    EXPECT_TRUE(processtest::endsWithin(pids[0], 0));
    if (tree) {
      EXPECT_TRUE(processtest::endsWithin(pids[1], 0));
    } else {
      EXPECT_FALSE(processtest::endsWithin(pids[1], 0)) << "a process not named was ended without /T";
    }
    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "utility::process::create|createProcess filename = [taskkill], param = [" +
                                utility::wideToUtf8(parameters) + "], show = 0",
                            "utility::process::execute|execute exitcode = 0 lastError = 0",
                        }));
  }
  clearLog();
  EXPECT_FALSE(execute(L"taskkill", wide("/F /IM " + uniqueName("nothing.exe") + " /T"), false, 2000));
  EXPECT_EQ(logged().back(), "utility::process::execute|execute exitcode = 128 lastError = 0");
}

}  // namespace
