// The single-instance lock and the instance receiver on every platform. Names carry the test
// folder's own name: on Windows mutexes and windows are found system-wide.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/utility/instance_test_support.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/usystem.h"
#include "utility/system/window_ipc.h"

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

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    instancetest::useRuntimeFolder(temp_.path());
    utility::TaskDispatcher::create();
  }
  std::wstring name(const char* what) const {
    return L"{" + utility::utf8ToWide(what) + L"-" + utility::utf8ToWide(temp_.path().filename().string()) + L"}";
  }
  // Runs the main loop until |done| or the failure limit.
  template <typename Done>
  static void pumpUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      if (!utility::MainLoop::iterate()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  testsupport::TempFolder temp_{"ipc"};
};

TEST_F(InstanceTest, OnlyMessagesAboveWmUserAndCopyDataReachTheHandler) {
  if (!instancetest::desktopWindowsAvailable()) {
    GTEST_SKIP() << "no window can be made here (Wine without an X server): run under an X server";
  }
  const std::wstring className = name("TEST-CLASS");
  Recorder recorder;
  utility::WindowIPC receiver;
  ASSERT_TRUE(receiver.create(className, &recorder));

  utility::WindowIPC sender;
  ASSERT_TRUE(sender.open(className));
  EXPECT_FALSE(utility::WindowIPC().open(className, L"some title"));  // the receiver has no title
  for (unsigned message : {0x400u, 0x401u, 0x10u, 11123u}) {
    EXPECT_TRUE(sender.postMessage(message, 7, -3));
  }
  pumpUntil([&] { return recorder.messages.size() >= 2; });
  EXPECT_EQ(recorder.messages, (std::vector<unsigned>{0x401u, 11123u}));
  EXPECT_EQ(recorder.lastW, 7u);
  EXPECT_EQ(recorder.lastL, -3);

  receiver.close();
  utility::WindowIPC late;
  EXPECT_FALSE(late.open(className));
  EXPECT_FALSE(late.postMessage(11123, 0, 0));
}

TEST_F(InstanceTest, ASecondHolderSeesTheNameTakenUntilTheFirstLetsGo) {
  const std::wstring lock = name("LOCKED");
  auto first = utility::usystem::createInstanceMutex(lock, false, true);
  EXPECT_TRUE(first.valid());
  EXPECT_FALSE(first.alreadyExisted());
  auto second = utility::usystem::createInstanceMutex(lock, false, true);
  EXPECT_FALSE(second.valid());
  EXPECT_TRUE(second.alreadyExisted());
  EXPECT_EQ(second.error(), 0);  // held by another: not an error
  auto opened = utility::usystem::createInstanceMutex(lock, false, false);
  EXPECT_TRUE(opened.valid());
  EXPECT_TRUE(opened.alreadyExisted());
  opened.close();
  first = std::move(opened);  // a moved handle lets go of what it held
  EXPECT_FALSE(first.valid());
  auto third = utility::usystem::createInstanceMutex(lock, false, true);
  EXPECT_TRUE(third.valid());
  EXPECT_FALSE(third.alreadyExisted());
}

}  // namespace
