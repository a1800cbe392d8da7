// The main thread's queue of posted tasks, shared by the platforms' dispatchers: tasks in the order
// posted, each with its owner; an owner's tasks are skipped once it is cancelled and leave the
// queue when it is forgotten, so a poster later built at the same address never inherits them.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>

#include "utility/base/runable.h"

namespace utility {

class TaskPoster;

class PostedTaskQueue {
 public:
  // Queues |task| for |owner| when |admit()| agrees; |admit| runs under the queue's lock, so
  // what it does (a platform's wake-up message) keeps the queue's order.
  template <typename Admit>
  bool push(const TaskPoster* owner, Runable* task, Admit admit) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!admit()) return false;
    auto [it, inserted] = counts_.try_emplace(owner, 0);
    if (it->second >= 0) ++it->second;
    queue_.push_back({owner, task});
    return true;
  }
  // The owner's queued and later tasks are released without running.
  void cancel(const TaskPoster* owner);
  // The owner's queued tasks leave the queue (released outside the lock: a release may post).
  void forget(const TaskPoster* owner);
  // Runs the oldest task (unless its owner is cancelled) and releases it; false when none was
  // queued. Called on the main thread, never under the lock.
  bool deliverOldest();
  size_t size() const;

 private:
  struct Posted {
    const TaskPoster* owner;
    Runable* task;
  };
  mutable std::mutex mutex_;  // guards queue_ and counts_; never held while a task runs
  std::deque<Posted> queue_;
  std::map<const TaskPoster*, long> counts_;  // -1: cancelled
};

}  // namespace utility
