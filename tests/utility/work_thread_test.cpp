#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "utility/base/work_thread.h"

namespace {

struct Counters {
  std::atomic<int> runs{0};
  std::atomic<int> released{0};
};

class CountingTask : public Runable {
 public:
  CountingTask(Counters* counters, std::chrono::milliseconds busy, utility::WorkThread* owner = nullptr)
      : counters_(counters), busy_(busy), owner_(owner) {}
  void release() override {
    counters_->released++;
    delete this;
  }
  void run() override {
    const auto end = std::chrono::steady_clock::now() + busy_;
    // Honours the stop request when it has an owner; otherwise ignores it.
    while (std::chrono::steady_clock::now() < end) {
      if (owner_ != nullptr && owner_->isStopRequested()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    counters_->runs++;
  }

 private:
  Counters* counters_;
  std::chrono::milliseconds busy_;
  utility::WorkThread* owner_;
};

TEST(WorkThread, RunsReleasesAndRefusesASecondStart) {
  Counters counters;
  utility::WorkThread thread;
  ASSERT_TRUE(thread.start(new CountingTask(&counters, std::chrono::milliseconds(50))));
  Counters other;
  auto* refused = new CountingTask(&other, std::chrono::milliseconds(0));
  EXPECT_FALSE(thread.start(refused));  // still held until stop
  refused->release();
  EXPECT_TRUE(thread.stop(utility::kWaitForever));
  EXPECT_EQ(counters.runs, 1);
  EXPECT_EQ(counters.released, 1);
  EXPECT_TRUE(thread.start(new CountingTask(&counters, std::chrono::milliseconds(0))));
  thread.stop(1000);
  EXPECT_EQ(counters.runs, 2);
  EXPECT_EQ(counters.released, 2);
  EXPECT_TRUE(thread.stop(1000));  // idle: nothing more
  EXPECT_EQ(counters.released, 2);
}

TEST(WorkThread, StopRequestEndsACooperativeTask) {
  Counters counters;
  utility::WorkThread thread;
  ASSERT_TRUE(thread.start(new CountingTask(&counters, std::chrono::seconds(60), &thread)));
  thread.requestStop();
  EXPECT_TRUE(thread.isStopRequested());
  thread.stop(utility::kWaitForever);
  EXPECT_EQ(counters.runs, 1);
  EXPECT_EQ(counters.released, 1);
}

TEST(WorkThread, MissedLimitDetachesAndKeepsTheTaskAlive) {
  // A task that ignores stop requests and runs until the test lets it go. Its state outlives
  // the test body because the detached thread still uses it.
  struct Stubborn : Runable {
    std::atomic<bool>* letGo;
    std::atomic<int>* released;
    std::atomic<bool>* running;
    void release() override {
      (*released)++;
      delete this;
    }
    void run() override {
      running->store(true);
      while (!letGo->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  static std::atomic<bool> letGo{false};
  static std::atomic<int> released{0};
  static std::atomic<bool> running{false};
  auto* task = new Stubborn;
  task->letGo = &letGo;
  task->released = &released;
  task->running = &running;

  auto thread = std::make_unique<utility::WorkThread>();
  ASSERT_TRUE(thread->start(task));
  while (!running.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread->requestStop();
  EXPECT_FALSE(thread->stop(50));  // returns although the task still runs, and says so
  EXPECT_EQ(released, 0);     // not freed while it runs
  Counters again;
  EXPECT_TRUE(thread->start(new CountingTask(&again, std::chrono::milliseconds(0))));  // idle again
  thread->stop(utility::kWaitForever);
  EXPECT_EQ(again.released, 1);
  thread.reset();             // the owner may go away
  letGo.store(true);          // the abandoned task finishes and releases itself
  for (int i = 0; i < 20000 && released.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(released, 1);
}

}  // namespace
