// The Win32 base layer where the portable tests cannot see it: posts from other threads through
// the dispatcher window, timer ticks, quits reaching the loop through nested loops, and the
// console control events.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "utility/base/clock.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/base/win/main_thread_win.h"

namespace {

constexpr auto kGenerous = std::chrono::seconds(20);

// Runs the loop until |done| or a generous limit (never an assertion on time).
void pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + kGenerous;
  while (!done() && std::chrono::steady_clock::now() < limit) {
    if (!utility::MainLoop::iterate()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

class Counted : public Runable {
 public:
  Counted(std::function<void()> body, std::atomic<int>* released)
      : body_(std::move(body)), released_(released) {}
  void release() override {
    ++*released_;
    delete this;
  }
  void run() override { body_(); }

 private:
  std::function<void()> body_;
  std::atomic<int>* released_;
};

class BaseWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    utility::TaskDispatcher::create();
    ASSERT_NE(utility::win::dispatcherWindow(), nullptr);
    utility::MainLoop::resetForTesting();
  }
  void TearDown() override { utility::MainLoop::resetForTesting(); }
};

// The dispatcher's window is message-only: no top-level window that broadcasts, window searches
// or the task bar would see.
TEST_F(BaseWinTest, TheDispatcherWindowIsMessageOnly) {
  const HWND dispatcher = utility::win::dispatcherWindow();
  bool foundAsMessageOnly = false;
  for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
       w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
    if (w == dispatcher) foundAsMessageOnly = true;
  }
  EXPECT_TRUE(foundAsMessageOnly);
  struct Search {
    HWND wanted;
    bool found;
  } search{dispatcher, false};
  EnumWindows(
      [](HWND w, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (w == s->wanted) s->found = true;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  EXPECT_FALSE(search.found);
  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(dispatcher, &process), GetCurrentThreadId());
}

// Four threads post at once: every task runs on the main thread, each thread's tasks in the
// order it posted them, and every task is released once.
TEST_F(BaseWinTest, PostsFromManyThreadsRunOnTheMainThreadInEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  utility::TaskPoster poster;
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> released{0};
  std::atomic<int> offThread{0};
  const DWORD mainThread = GetCurrentThreadId();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        EXPECT_TRUE(poster.post(new Counted(
            [&, t, i] {
              if (GetCurrentThreadId() != mainThread) ++offThread;
              seen[static_cast<size_t>(t)].push_back(i);
            },
            &released)));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  pumpUntil([&] { return released.load() == kThreads * kPerThread; });
  EXPECT_EQ(released.load(), kThreads * kPerThread);
  EXPECT_EQ(offThread.load(), 0);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[static_cast<size_t>(t)].size(), static_cast<size_t>(kPerThread)) << t;
    for (int i = 0; i < kPerThread; ++i) EXPECT_EQ(seen[static_cast<size_t>(t)][static_cast<size_t>(i)], i);
  }
}

// A task posted from another thread reaches a task that waits in a modal loop of its own (as a
// message box does): the dispatcher's window receives it in any loop of the main thread.
TEST_F(BaseWinTest, PostsReachTheMainThreadInsideANestedModalLoop) {
  utility::TaskPoster poster;
  std::atomic<int> released{0};
  std::atomic<bool> inModal{false};
  bool innerRan = false;
  bool modalEnded = false;
  poster.post(new Counted(
      [&] {
        inModal = true;
        // A modal loop of the system's kind: GetMessage and DispatchMessage until told.
        const auto limit = std::chrono::steady_clock::now() + kGenerous;
        MSG msg;
        while (!innerRan && std::chrono::steady_clock::now() < limit) {
          if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
          } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
          }
        }
        modalEnded = true;
      },
      &released));
  std::thread other([&] {
    while (!inModal.load()) std::this_thread::yield();
    poster.post(new Counted([&] { innerRan = true; }, &released));
  });
  pumpUntil([&] { return modalEnded; });
  other.join();
  pumpUntil([&] { return released.load() == 2; });
  EXPECT_TRUE(innerRan);
  EXPECT_EQ(released.load(), 2);
}

// A post the system refuses (the thread's queue holds at most 10,000 messages) releases its
// task at once and says so; nothing accepted is lost or reordered.
TEST_F(BaseWinTest, RefusedPostsReleaseTheirTaskAndAcceptedOnesAllRun) {
  constexpr int kPosts = 12000;
  utility::TaskPoster poster;
  std::atomic<int> released{0};
  std::vector<int> ran;
  std::vector<int> accepted;
  std::thread worker([&] {
    for (int i = 0; i < kPosts; ++i) {
      if (poster.post(new Counted([&ran, i] { ran.push_back(i); }, &released))) accepted.push_back(i);
    }
  });
  worker.join();
  const int refused = kPosts - static_cast<int>(accepted.size());
  EXPECT_EQ(released.load(), refused);  // refused ones at once, on the posting thread
  pumpUntil([&] { return released.load() == kPosts; });
  EXPECT_EQ(released.load(), kPosts);
  EXPECT_EQ(ran, accepted);
  EXPECT_EQ(utility::TaskDispatcher::instance()->queuedTasks(), 0u);
}

// Timers tick on the main thread through the loop, a task that pumps messages itself is not run
// again inside its own run, and a tick already queued when its timer stops never runs the task.
TEST_F(BaseWinTest, TimersTickOnTheMainThreadWithoutReentry) {
  std::atomic<int> released{0};
  int ticks = 0;
  int depth = 0;
  int deepest = 0;
  bool offThread = false;
  const DWORD mainThread = GetCurrentThreadId();
  utility::TaskTimer timer;
  ASSERT_TRUE(timer.start(10, new Counted(
                                  [&] {
                                    if (GetCurrentThreadId() != mainThread) offThread = true;
                                    ++depth;
                                    deepest = std::max(deepest, depth);
                                    ++ticks;
                                    if (ticks == 1) {
                                      // Pump until the timer is due several times over.
                                      const auto until = GetTickCount() + 100;
                                      while (static_cast<int32_t>(GetTickCount() - until) < 0) {
                                        utility::MainLoop::iterate();
                                        Sleep(1);
                                      }
                                    }
                                    --depth;
                                  },
                                  &released)));
  EXPECT_NE(timer.id(), 0u);
  pumpUntil([&] { return ticks >= 3; });
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(deepest, 1);
  EXPECT_FALSE(offThread);

  // Let a tick become due without pumping, stop the timer, then pump: the task is gone.
  const int before = ticks;
  Sleep(50);
  timer.stop();
  EXPECT_EQ(released.load(), 1);
  while (utility::MainLoop::iterate()) {
  }
  EXPECT_EQ(ticks, before);
  EXPECT_EQ(released.load(), 1);
}

// The loop runs until quit; a timer's task ends it after three ticks.
TEST_F(BaseWinTest, RunEndsWhenATimerTaskQuits) {
  std::atomic<int> released{0};
  int ticks = 0;
  utility::TaskTimer timer;
  ASSERT_TRUE(timer.start(10, new Counted(
                                  [&] {
                                    if (++ticks == 3) utility::MainLoop::quit();
                                  },
                                  &released)));
  utility::MainLoop::run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  timer.stop();
  EXPECT_EQ(released.load(), 1);
}

// A quit from another thread reaches a modal loop the main thread is in (which passes WM_QUIT on,
// as the system's modal loops do), and then the loop itself.
TEST_F(BaseWinTest, AQuitFromAnotherThreadPassesThroughAModalLoop) {
  utility::TaskPoster poster;
  std::atomic<int> released{0};
  std::atomic<bool> inModal{false};
  bool modalSawQuit = false;
  poster.post(new Counted(
      [&] {
        inModal = true;
        const auto limit = std::chrono::steady_clock::now() + kGenerous;
        MSG msg;
        while (std::chrono::steady_clock::now() < limit) {
          if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
          }
          if (msg.message == WM_QUIT) {
            modalSawQuit = true;
            PostQuitMessage(static_cast<int>(msg.wParam));  // passed on to the outer loop
            return;
          }
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
        utility::MainLoop::quit();  // lost on the way: end the outer loop for the check below
      },
      &released));
  std::thread quitter([&] {
    while (!inModal.load()) std::this_thread::yield();
    utility::MainLoop::quit();
  });
  utility::MainLoop::run();
  quitter.join();
  EXPECT_TRUE(modalSawQuit);
  EXPECT_EQ(released.load(), 1);
}

// A task that pumps the queue itself with iterate() may take the WM_QUIT meant for the loop: the
// loop still ends when the task returns.
TEST_F(BaseWinTest, AQuitTakenByANestedIterateStillEndsTheLoop) {
  std::atomic<int> released{0};
  utility::TaskPoster poster;
  bool pumped = false;
  poster.post(new Counted(
      [&] {
        utility::MainLoop::quit();
        while (utility::MainLoop::iterate()) {
        }
        pumped = true;
      },
      &released));
  utility::MainLoop::run();
  EXPECT_TRUE(pumped);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
}

// Each console control event that ends a console program ends the loop instead, from the
// system's handler thread; any other event is not ours.
TEST_F(BaseWinTest, ConsoleControlEventsEndTheLoopFromTheHandlersThread) {
  const DWORD events[] = {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT,
                          CTRL_SHUTDOWN_EVENT};
  for (const DWORD event : events) {
    utility::MainLoop::resetForTesting();
    bool handled = false;
    std::thread handler([&] { handled = utility::win::endLoopOnConsoleControl(event); });
    utility::MainLoop::run();
    handler.join();
    EXPECT_TRUE(handled) << event;
    EXPECT_TRUE(utility::MainLoop::quitRequested()) << event;
  }
  utility::MainLoop::resetForTesting();
  std::thread other([] { EXPECT_FALSE(utility::win::endLoopOnConsoleControl(7)); });
  other.join();
  utility::MainLoop::resetForTesting();
  EXPECT_FALSE(utility::MainLoop::quitRequested());
}

TEST(ClockWin, TicksAndTimeAreTheSystems) {
  const uint32_t before = GetTickCount();
  const uint32_t tick = utility::tickCount();
  EXPECT_LE(tick - before, 60000u);  // the same counter, not another clock
  EXPECT_EQ(utility::currentThreadId(), GetCurrentThreadId());
  SYSTEMTIME system{};
  GetLocalTime(&system);
  const utility::LocalTime local = utility::localTimeNow();
  EXPECT_EQ(local.year, system.wYear);
  EXPECT_GE(local.month, 1);
  EXPECT_LE(local.month, 12);
}

// The ANSI code page is the system's, converted without "best fit" look-alikes: a fullwidth
// solidus must not turn into a path separator.
TEST(AnsiCodePageWin, SystemCodePageWithoutBestFit) {
  EXPECT_EQ(utility::ansiToWide("plain"), L"plain");
  EXPECT_EQ(utility::toNarrow(L"a\uFF0Fb\u2215c", -1, 1252), "a?b?c");
  EXPECT_EQ(utility::toNarrow(L"caf\u00E9", -1, 1252), "caf\xE9");
  // Host bytes are the system's ANSI text, with no UTF-8 guess: "\xC3\xA9" is two characters
  // in code page 1252, not "é".
  for (const char* bytes : {"caf\xE9", "\xC3\xA9", "plain"}) {
    EXPECT_EQ(utility::hostTextToWide(bytes), utility::toWide(bytes, -1, GetACP())) << bytes;
  }
  if (GetACP() == 1252) {
    EXPECT_EQ(utility::wideToAnsi(L"a\uFF0Fb"), "a?b");
    EXPECT_EQ(utility::hostTextToWide("\xC3\xA9"), L"\u00C3\u00A9");
  }
}

// The handler the loop registers: Ctrl+C ends the loop and is handled; closing the console ends
// the loop and holds the handler's thread, since the system ends the process as soon as the
// handler returns, and the loop's orderly end must run first.
TEST_F(BaseWinTest, TheRegisteredHandlerEndsTheLoopAndHoldsTheProcessOnClose) {
  utility::MainLoop::quitOnTerminationSignals();
  utility::MainLoop::quitOnTerminationSignals();
  // Registered, once: the first removal finds it, the second does not.
  EXPECT_TRUE(SetConsoleCtrlHandler(utility::win::consoleControlHandler, FALSE));
  EXPECT_FALSE(SetConsoleCtrlHandler(utility::win::consoleControlHandler, FALSE));
  ASSERT_TRUE(SetConsoleCtrlHandler(utility::win::consoleControlHandler, TRUE));

  BOOL handled = FALSE;
  std::thread ctrlC([&] { handled = utility::win::consoleControlHandler(CTRL_C_EVENT); });
  utility::MainLoop::run();
  ctrlC.join();
  EXPECT_TRUE(handled);

  utility::MainLoop::resetForTesting();
  struct Close {
    static DWORD WINAPI run(void*) { return utility::win::consoleControlHandler(CTRL_CLOSE_EVENT); }
  };
  HANDLE close = CreateThread(nullptr, 0, &Close::run, nullptr, 0, nullptr);
  ASSERT_NE(close, nullptr);
  utility::MainLoop::run();
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  // The loop has ended and the handler still holds: the process ends when this program does.
  EXPECT_EQ(WaitForSingleObject(close, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(close);
}

}  // namespace
