#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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
  // A task that ignores stop requests and runs until the test lets it go. The task shares its
  // state with the test, so the state outlives the test body while the detached thread still
  // uses it, and each run of the test starts from fresh state.
  struct State {
    std::atomic<bool> letGo{false};
    std::atomic<int> released{0};
    std::atomic<bool> running{false};
  };
  struct Stubborn : Runable {
    std::shared_ptr<State> state;
    void release() override {
      state->released++;
      delete this;
    }
    void run() override {
      state->running.store(true);
      while (!state->letGo.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  const auto state = std::make_shared<State>();
  std::atomic<bool>& letGo = state->letGo;
  std::atomic<int>& released = state->released;
  std::atomic<bool>& running = state->running;
  auto* task = new Stubborn;
  task->state = state;

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
