#include "utility/base/work_thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace utility {

struct WorkThread::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  bool abandoned = false;
};

WorkThread::~WorkThread() {
  // Owners stop their threads before they go; a thread still held here is left to finish.
  if (thread_.joinable()) stop(0);
  if (task_ != nullptr) {
    task_->release();
    task_ = nullptr;
  }
}

bool WorkThread::start(Runable* task) {
  if (thread_.joinable() || task_ != nullptr) return false;
  stopRequested_.store(false);
  task_ = task;
  state_ = std::make_shared<State>();
  try {
    thread_ = std::thread([state = state_, task] {
      if (task != nullptr) task->run();
      std::lock_guard<std::mutex> lock(state->mutex);
      state->done = true;
      if (state->abandoned && task != nullptr) task->release();
      state->ended.notify_all();
    });
  } catch (...) {
    // The thread could not be started: the task stays held until stop releases it.
  }
  return true;
}

bool WorkThread::stop(uint32_t limitMs) {
  bool ended = true;
  if (thread_.joinable()) {
    bool finished;
    {
      std::unique_lock<std::mutex> lock(state_->mutex);
      if (limitMs == kWaitForever) {
        state_->ended.wait(lock, [&] { return state_->done; });
      } else {
        state_->ended.wait_for(lock, std::chrono::milliseconds(limitMs),
                               [&] { return state_->done; });
      }
      finished = state_->done;
      if (!finished) state_->abandoned = true;  // the thread releases its task when it ends
    }
    if (finished) {
      thread_.join();
    } else {
      thread_.detach();
      task_ = nullptr;
      ended = false;
    }
  }
  state_.reset();
  if (task_ != nullptr) {
    task_->release();
    task_ = nullptr;
  }
  return ended;
}

bool WorkThread::isRunning() const {
  if (!thread_.joinable() || !state_) return false;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return !state_->done;
}

}  // namespace utility
