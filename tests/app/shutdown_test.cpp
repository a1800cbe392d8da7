// The application object's orderly end, in this process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/download_impl.h"
#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "utility/system/usystem.h"
#include "utility/system/window_ipc.h"

class DownloadImplTest {
 public:
  static bool createReceiver(DownloadImpl& app) { return app.ipc_.create(kInstanceName, &app); }
};

namespace {

struct Ignore : utility::IWindowIPCHandle {
  int onHandleWindowIPC(unsigned, uintptr_t, intptr_t) override { return 0; }
};

class Shutdown : public ::testing::Test {
 protected:
  void SetUp() override {
    // A runtime folder of this test's own for the instance lock and the receiver.
    runtime_.emplace("tw-shutdown");
    setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    runtime_.reset();
  }
  std::optional<testsupport::TempFolder> runtime_;
};

TEST_F(Shutdown, ALaunchAsTheInstanceLockIsLetGoCanTakeOverTheHandOver) {
  DownloadImpl app;
  DownloaderModel& model = DownloaderModel::instance();
  ASSERT_FALSE(model.popupExistPwnd());  // this run holds the instance lock
  ASSERT_TRUE(DownloadImplTest::createReceiver(app));

  // A launch right when the lock is let go: it takes the lock and makes a receiver of its own.
  bool launched = false;
  bool lockTaken = false;
  bool receiverMade = false;
  Ignore handler;
  utility::WindowIPC nextReceiver;
  utility::usystem::InstanceMutex nextLock;
  model.onInstanceLockReleasedForTesting = [&] {
    launched = true;
    nextLock = utility::usystem::createInstanceMutex(kInstanceName, false, true);
    lockTaken = nextLock.valid() && !nextLock.alreadyExisted();
    receiverMade = nextReceiver.create(kInstanceName, &handler);
  };
  app.shutdown();
  EXPECT_EQ(DownloaderModel::existing(), nullptr);
  ASSERT_TRUE(launched);
  EXPECT_TRUE(lockTaken);
  EXPECT_TRUE(receiverMade);

  // And a later launch finds that receiver.
  utility::WindowIPC later;
  EXPECT_TRUE(later.open(kInstanceName));
}

}  // namespace
