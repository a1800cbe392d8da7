// The real executable, started as a user would start it, in a private world of folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class InstallerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = fs::temp_directory_path() /
             ("proc-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(world_);
    fs::create_directories(world_ / "home");
    fs::create_directories(world_ / "run");
    fs::permissions(world_ / "run", fs::perms::owner_all);
    fs::create_directories(world_ / "dl");
  }
  void TearDown() override {
    for (pid_t pid : children_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    fs::remove_all(world_);
  }

  // Copies the installer under |name| (the name carries the campaign) and starts it.
  pid_t start(const std::string& name, const std::vector<std::string>& args) {
    const fs::path exe = world_ / "dl" / name;
    if (!fs::exists(exe)) fs::copy_file(TARNWICK_INSTALLER_BINARY, exe);
    const std::string home = "HOME=" + (world_ / "home").string();
    const std::string data = "XDG_DATA_HOME=" + (world_ / "home/.local/share").string();
    const std::string config = "XDG_CONFIG_HOME=" + (world_ / "home/.config").string();
    const std::string run = "XDG_RUNTIME_DIR=" + (world_ / "run").string();
    const std::string drives = "TARNWICK_DRIVES=C=" + (world_ / "home").string();
    std::vector<std::string> env = {home, data, config, run, drives, "LANG=C.UTF-8", "PATH=/usr/bin:/bin"};
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv{const_cast<char*>(exe.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (auto& e : env) envp.push_back(e.data());
      envp.push_back(nullptr);
      execve(exe.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    children_.push_back(pid);
    return pid;
  }

  // Waits for the process to end; returns its exit code, or -1 when it is still running after
  // a generous limit (the test then fails on the code, not on a time).
  int wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(children_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  std::string log() const {
    std::ifstream in(world_ / "home/.local/share/downloader/downloader.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool waitForLog(const std::string& text, int count = 1) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      const std::string l = log();
      int found = 0;
      for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++found;
      if (found >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  fs::path world_;
  std::vector<pid_t> children_;
};

TEST_F(InstallerProcess, SecondStartHandsOverAndSigtermEndsInOrder) {
  const pid_t first = start("Tarnwick64_kr_35036_x", {"name=Game|package=com.a.b|apkurl=https://h/a.apk"});
  ASSERT_TRUE(waitForLog("DownloadImpl::showMainFrame"));
  // The receiver exists right after the window; give the first a moment's head start by log.
  ASSERT_TRUE(waitForLog("create main"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const pid_t second = start("Tarnwick64_kr_35036_x", {});
  EXPECT_EQ(wait(second), 0);
  ASSERT_TRUE(waitForLog("onHandleWindowIPC, msg = 11123"));

  kill(first, SIGTERM);
  EXPECT_EQ(wait(first), 0);

  const std::string l = log();
  EXPECT_NE(l.find("\twWinMain\t("), std::string::npos);
  EXPECT_NE(l.find("):\r\n\r\n start run\r\n"), std::string::npos);
  EXPECT_NE(l.find("DownloaderModel::popupExistPwnd\t("), std::string::npos);
  EXPECT_NE(l.find("wnd not exist"), std::string::npos);
  EXPECT_NE(l.find("wnd exist"), std::string::npos);
  EXPECT_NE(l.find("DownloadImpl::entrance\t("), std::string::npos);
  EXPECT_NE(l.find("It's exist"), std::string::npos);
  EXPECT_NE(l.find("player is 64"), std::string::npos);
  EXPECT_NE(l.find("cmdline is Game, com.a.b, https://h/a.apk"), std::string::npos);
  EXPECT_NE(l.find("):path " + (world_ / "dl").string() + "/\r\n"), std::string::npos);
  // Two start banners: one per process.
  EXPECT_TRUE(waitForLog(" start run", 2));
  EXPECT_TRUE(waitForLog("shutdown finished", 2));

  // The next run is not blocked by anything the first left behind.
  const pid_t third = start("Tarnwick64_kr_35036_x", {});
  ASSERT_TRUE(waitForLog("wnd not exist", 2));
  kill(third, SIGINT);
  EXPECT_EQ(wait(third), 0);
}

TEST_F(InstallerProcess, HostileNameAndCommandLine) {
  std::string hugeArgument(65536, 'x');
  hugeArgument += "\xff\xfe|apkurl=\xc3|=|";
  const std::string name = "tarnwick9_\xff\xfe__x";
  const pid_t pid = start(name, {hugeArgument, "", "second arg"});
  ASSERT_TRUE(waitForLog("create main"));
  kill(pid, SIGTERM);
  EXPECT_EQ(wait(pid), 0);
  const std::string l = log();
  EXPECT_NE(l.find("DownloaderModel exe filename= tarnwick9_\xEF\xBF\xBD\xEF\xBF\xBD__x"), std::string::npos);
  EXPECT_NE(l.find("openid is 35036"), std::string::npos);
  EXPECT_NE(l.find("shutdown finished"), std::string::npos);
}

}  // namespace
