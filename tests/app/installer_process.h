// The real executable, started as a user would start it, in a private world of folders
// (home, app data, configuration, runtime folder, drive table).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/x_server.h"

namespace fs = std::filesystem;


class InstallerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    // A short private folder: the runtime folder inside it must leave room for socket paths.
    folder_.emplace("tw");
    world_ = folder_->path();
    fs::create_directories(world_ / "home");
    fs::create_directories(world_ / "run");
    fs::permissions(world_ / "run", fs::perms::owner_all);
    // The download folder inside the home folder, which is drive C: whether or not the build
    // reads the drive table from TARNWICK_DRIVES (Release builds see the machine's own mounts).
    fs::create_directories(downloads());
    ASSERT_FALSE(x_.display().empty()) << "no X server (Xvfb) could be started";
  }
  void TearDown() override {
    for (pid_t pid : children_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    folder_.reset();  // once no child uses it
  }

  // Copies the installer under |name| (the name carries the campaign) and starts it.
  pid_t start(const std::string& name, const std::vector<std::string>& args) {
    const fs::path exe = downloads() / name;
    if (!fs::exists(exe)) fs::copy_file(TARNWICK_INSTALLER_BINARY, exe);
    const std::string home = "HOME=" + (world_ / "home").string();
    const std::string data = "XDG_DATA_HOME=" + (world_ / "home/.local/share").string();
    const std::string config = "XDG_CONFIG_HOME=" + (world_ / "home/.config").string();
    const std::string run = "XDG_RUNTIME_DIR=" + (world_ / "run").string();
    const std::string drives = "TARNWICK_DRIVES=C=" + (world_ / "home").string();
    std::vector<std::string> env = {home, data, config, run, drives, "LANG=C.UTF-8", "PATH=/usr/bin:/bin",
                                    // The window's display, without the accessibility bus.
                                    "DISPLAY=" + x_.display(), "NO_AT_BRIDGE=1"};
    for (const std::string& extra : extraEnv_) {
      // An extra entry replaces the one of the same name.
      const std::string key = extra.substr(0, extra.find('=') + 1);
      std::erase_if(env, [&](const std::string& entry) { return entry.starts_with(key); });
      env.push_back(extra);
    }
    const pid_t pid = fork();
    if (pid == 0) {
      if (!stdoutFile_.empty()) {
        // open and dup2 only: the parent has threads, the child may not allocate.
        const int out = ::open(stdoutFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out < 0 || dup2(out, 1) < 0) _exit(126);
      }
      if (fileSizeLimit_) {
        // Writes past the limit fail (EFBIG) as on a full disk; the ignored signal stays so
        // across execve.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(*fileSizeLimit_), static_cast<rlim_t>(*fileSizeLimit_)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
      }
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

  bool waitForLog(const std::string& text, int count = 1, std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      const std::string l = log();
      int found = 0;
      for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++found;
      if (found >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Starts second instances until the first shows that one reached it (the first creates its
  // receiver a moment after its window); returns whether that happened.
  bool handOverTo(const std::string& name, int expectedMessages = 1) {
    for (int attempt = 0; attempt < 50; ++attempt) {
      const pid_t second = start(name, {});
      if (wait(second) != 0) return false;
      if (waitForLog("onHandleWindowIPC, msg = 11123", expectedMessages, std::chrono::milliseconds(500))) return true;
    }
    return false;
  }

  fs::path downloads() const { return world_ / "home" / "Downloads"; }

  testsupport::XServer x_;  // the test's own display; goes after the children
  std::optional<testsupport::TempFolder> folder_;
  fs::path world_;
  std::vector<std::string> extraEnv_;  // added to every started process's environment, replacing
  fs::path stdoutFile_;                // when set, started processes append their standard output here
  std::optional<uint64_t> fileSizeLimit_;  // when set, no file a started process writes grows past it
  std::vector<pid_t> children_;
};
