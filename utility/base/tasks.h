// Work reaches the main thread only through posted tasks, in the order posted. An owner
// (TaskPoster) can drop its undelivered tasks; periodic timers run their task on the main thread.
#pragma once

#include <cstdint>
#include <functional>

#include "utility/base/runable.h"

namespace utility {

class TaskPoster {
 public:
  TaskPoster() = default;
  // The dispatcher forgets this owner: its undelivered tasks are released without running, and
  // a poster later built at the same address starts as a new owner.
  ~TaskPoster();
  TaskPoster(const TaskPoster&) = delete;
  TaskPoster& operator=(const TaskPoster&) = delete;

  // Any thread. The task runs on the main thread unless this owner cancels first; it is always
  // released.
  bool post(Runable* task);
  template <class F>
  bool postFunction(F&& function) {
    return post(makeRunable(std::forward<F>(function)));
  }
  // Main thread. Tasks of this owner not yet delivered are released without running.
  void cancel();
};

class TaskTimer {
 public:
  TaskTimer() = default;
  ~TaskTimer() { stop(); }
  TaskTimer(const TaskTimer&) = delete;
  TaskTimer& operator=(const TaskTimer&) = delete;

  // Main thread. A running timer of this handle is stopped first. False in two ways: for a
  // period of 0 or a null task nothing is taken (the caller still owns the task); when no timer
  // can be started (no dispatcher, the loop refused) the task was taken and is released.
  bool start(uint32_t periodMs, Runable* task);
  void stop();
  uint32_t id() const { return id_; }

 private:
  uint32_t id_ = 0;
};

// Posts |function| through the process-wide poster.
bool runOnMainThread(std::function<void()> function);

// The main thread's dispatcher, created once at start-up on the main thread.
class TaskDispatcher {
 public:
  static TaskDispatcher& create();
  static TaskDispatcher* instance();

  bool post(const TaskPoster* owner, Runable* task);
  void cancel(const TaskPoster* owner);
  // Drops the owner's entry and releases its queued tasks unrun (any thread).
  void forget(const TaskPoster* owner);
  uint32_t startTimer(uint32_t periodMs, Runable* task);
  void stopTimer(uint32_t id);
  // Posted tasks not yet delivered (all owners).
  size_t queuedTasks() const;

  struct Impl;

 private:
  TaskDispatcher();
  Impl* impl_;
};

}  // namespace utility
