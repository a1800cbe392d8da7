#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "utility/base/main_loop.h"
#include "utility/base/tasks.h"

namespace {

// A task that records whether it ran and whether it was released.
class Probe : public Runable {
 public:
  Probe(std::vector<int>* order, int id, int* released) : order_(order), id_(id), released_(released) {}
  void release() override {
    ++*released_;
    delete this;
  }
  void run() override { order_->push_back(id_); }

 private:
  std::vector<int>* order_;
  int id_;
  int* released_;
};

// Runs the main loop until |done| or a generous limit (never an assertion on time).
void pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done() && std::chrono::steady_clock::now() < limit) {
    if (!utility::MainLoop::iterate()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void drain() {
  pumpUntil([] { return utility::TaskDispatcher::instance()->queuedTasks() == 0; });
}

class TasksTest : public ::testing::Test {
 protected:
  void SetUp() override { utility::TaskDispatcher::create(); }
};

TEST_F(TasksTest, PostsRunInOrderFromManyThreads) {
  utility::TaskPoster poster;
  std::vector<int> order;
  int released = 0;
  for (int i = 0; i < 5; ++i) poster.post(new Probe(&order, i, &released));
  std::thread worker([&] {
    for (int i = 5; i < 10; ++i) poster.post(new Probe(&order, i, &released));
  });
  worker.join();
  drain();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(released, 10);
}

TEST_F(TasksTest, CancelDropsOnlyThatOwnersTasks) {
  utility::TaskPoster cancelled, other;
  std::vector<int> order;
  int released = 0;
  cancelled.post(new Probe(&order, 1, &released));
  other.post(new Probe(&order, 2, &released));
  cancelled.post(new Probe(&order, 3, &released));
  cancelled.cancel();
  drain();
  EXPECT_EQ(order, std::vector<int>{2});
  EXPECT_EQ(released, 3);  // the dropped tasks are released, not leaked
  cancelled.post(new Probe(&order, 4, &released));  // stays cancelled
  drain();
  EXPECT_EQ(order, std::vector<int>{2});
  EXPECT_EQ(released, 4);

  utility::TaskPoster neverPosted;
  neverPosted.cancel();  // no entry: unaffected
  neverPosted.post(new Probe(&order, 5, &released));
  drain();
  EXPECT_EQ(order, (std::vector<int>{2, 5}));
}

// Owners are keyed by address: a poster built where a destroyed one lived is a new owner. It
// neither inherits the old cancel mark nor receives the tasks the old one left queued.
TEST_F(TasksTest, APosterAtADeadPostersAddressIsANewOwner) {
  std::vector<int> order;
  int released = 0;
  alignas(utility::TaskPoster) unsigned char storage[sizeof(utility::TaskPoster)];

  auto* first = new (storage) utility::TaskPoster();
  first->post(new Probe(&order, 1, &released));
  first->cancel();
  first->~TaskPoster();
  auto* second = new (storage) utility::TaskPoster();
  ASSERT_EQ(static_cast<void*>(first), static_cast<void*>(second));
  second->post(new Probe(&order, 2, &released));
  drain();
  EXPECT_EQ(order, std::vector<int>{2});
  EXPECT_EQ(released, 2);

  // Not cancelled, but destroyed with a task still queued: that task belongs to the dead owner.
  second->post(new Probe(&order, 3, &released));
  second->~TaskPoster();
  auto* third = new (storage) utility::TaskPoster();
  third->post(new Probe(&order, 4, &released));
  drain();
  EXPECT_EQ(order, (std::vector<int>{2, 4}));
  EXPECT_EQ(released, 4);
  third->~TaskPoster();
}

TEST_F(TasksTest, RunOnMainThreadRunsOnTheLoopThread) {
  std::thread::id ranOn;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    utility::runOnMainThread([&] {
      ranOn = std::this_thread::get_id();
      done = true;
    });
  });
  worker.join();
  pumpUntil([&] { return done.load(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(TasksTest, TimersCountIdsAndMayStopThemselves) {
  std::vector<int> order;
  int released = 0;
  utility::TaskTimer zero, null;
  auto* notTaken = new Probe(&order, 0, &released);
  EXPECT_FALSE(zero.start(0, notTaken));
  EXPECT_EQ(released, 0);  // not taken: the caller still owns it
  notTaken->release();
  EXPECT_FALSE(null.start(10, nullptr));
  EXPECT_EQ(zero.id(), 0u);

  utility::TaskTimer a;
  ASSERT_TRUE(a.start(5, new Probe(&order, 1, &released)));
  const uint32_t first = a.id();
  a.stop();
  EXPECT_EQ(released, 2);
  EXPECT_EQ(a.id(), 0u);

  // A timer whose task stops its own timer on the third tick.
  utility::TaskTimer self;
  int ticks = 0;
  bool stillAlive = false;
  struct SelfStopper : Runable {
    utility::TaskTimer* timer;
    int* ticks;
    bool* stillAlive;
    int* released;
    void release() override {
      ++*released;
      delete this;
    }
    void run() override {
      if (++*ticks == 3) {
        timer->stop();
        *stillAlive = true;  // the task is still usable after stopping its own timer
      }
    }
  };
  auto* stopper = new SelfStopper;
  stopper->timer = &self;
  stopper->ticks = &ticks;
  stopper->stillAlive = &stillAlive;
  stopper->released = &released;
  ASSERT_TRUE(self.start(5, stopper));
  EXPECT_EQ(self.id(), first + 1);  // ids keep counting whatever was stopped
  pumpUntil([&] { return ticks >= 3 && released == 3; });
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(stillAlive);
  EXPECT_EQ(released, 3);
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(self.id(), 0u);
}

TEST(MainLoopTest, AQuitFromAnotherThreadIsNeverLostAroundTheLoopsStart) {
  // A quit that lands while run() is starting must still end it; each round would hang otherwise.
  for (int round = 0; round < 200; ++round) {
    utility::MainLoop::resetForTesting();
    std::thread quitter([] { utility::MainLoop::quit(); });
    utility::MainLoop::run();
    quitter.join();
    EXPECT_TRUE(utility::MainLoop::quitRequested());
  }
  utility::MainLoop::resetForTesting();
}

}  // namespace
