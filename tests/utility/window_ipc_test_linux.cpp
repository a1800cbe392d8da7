// The Linux side of the single instance: the socket and lock files in the runtime folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/usystem.h"
#include "utility/system/window_ipc.h"

namespace fs = std::filesystem;

namespace {

struct Recorder : utility::IWindowIPCHandle {
  std::vector<unsigned> messages;
  int onHandleWindowIPC(unsigned message, uintptr_t wParam, intptr_t lParam) override {
    messages.push_back(message);
    lastW = wParam;
    lastL = lParam;
    return 0;
  }
  uintptr_t lastW = 0;
  intptr_t lastL = 0;
};

class LinuxInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();  // owner only, as a runtime folder is
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    utility::TaskDispatcher::create();
  }

  static void pumpFor(int iterations) {
    for (int i = 0; i < iterations; ++i) {
      if (!utility::MainLoop::iterate()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  testsupport::TempFolder temp_{"ipc"};
  fs::path dir_;
};

TEST_F(LinuxInstanceTest, StaleSocketAndLockFromACrashedRunDoNotBlock) {
  // A crashed run leaves its socket file with nobody receiving on it: keep a second name of the
  // socket while the receiver goes, then put it back in place.
  {
    utility::WindowIPC crashed;
    ASSERT_TRUE(crashed.create(L"{STALE}", nullptr));
    fs::create_hard_link(dir_ / "{STALE}.sock", dir_ / "dead.sock");
  }
  fs::rename(dir_ / "dead.sock", dir_ / "{STALE}.sock");
  utility::WindowIPC opener;
  EXPECT_FALSE(opener.open(L"{STALE}"));  // nobody there: not found
  Recorder recorder;
  utility::WindowIPC next;
  ASSERT_TRUE(next.create(L"{STALE}", &recorder));
  ASSERT_TRUE(opener.open(L"{STALE}"));
  EXPECT_TRUE(opener.postMessage(11123, 0, 0));
  for (int i = 0; i < 200 && recorder.messages.empty(); ++i) pumpFor(1);
  EXPECT_EQ(recorder.messages, std::vector<unsigned>{11123u});

  // A lock file nobody holds does not count; a held one does until it is closed.
  std::ofstream(dir_ / "{LOCKED}.lock") << "left behind";
  auto first = utility::usystem::createInstanceMutex(L"{LOCKED}", false, true);
  EXPECT_TRUE(first.valid());
  auto second = utility::usystem::createInstanceMutex(L"{LOCKED}", false, true);
  EXPECT_FALSE(second.valid());
  auto opened = utility::usystem::createInstanceMutex(L"{LOCKED}", false, false);
  EXPECT_TRUE(opened.valid());
  EXPECT_TRUE(opened.alreadyExisted());
  EXPECT_EQ(second.error(), 0);  // held by another: not an error
  first.close();
  auto third = utility::usystem::createInstanceMutex(L"{LOCKED}", false, true);
  EXPECT_TRUE(third.valid());
  EXPECT_FALSE(third.alreadyExisted());

  // A lock that cannot be made at all says so, so that callers do not take it for another run.
  fs::create_directory(dir_ / "{BROKEN}.lock");
  auto broken = utility::usystem::createInstanceMutex(L"{BROKEN}", false, true);
  EXPECT_FALSE(broken.valid());
  EXPECT_NE(broken.error(), 0);
}

TEST_F(LinuxInstanceTest, ARuntimeFolderTooDeepForASocketPathStillLetsInstancesMeet) {
  const fs::path deep = dir_ / std::string(120, 'd');
  fs::create_directories(deep);
  fs::permissions(deep, fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
  // The socket then lives in the user's one private folder in /tmp, which every run of this
  // binary shares: the class is named after this run's own folder.
  const std::wstring className = L"{DEEP-" + utility::utf8ToWide(dir_.filename().string()) + L"}";
  Recorder recorder;
  utility::WindowIPC receiver;
  ASSERT_TRUE(receiver.create(className, &recorder));
  utility::WindowIPC sender;
  ASSERT_TRUE(sender.open(className));
  EXPECT_TRUE(sender.postMessage(11123, 0, 0));
  for (int i = 0; i < 200 && recorder.messages.empty(); ++i) pumpFor(1);
  EXPECT_EQ(recorder.messages, std::vector<unsigned>{11123u});
}

}  // namespace
