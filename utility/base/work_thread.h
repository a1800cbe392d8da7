// Runs one Runable on a thread of its own and stops it with a time limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "utility/base/runable.h"

namespace utility {

inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

class WorkThread {
 public:
  WorkThread() = default;
  ~WorkThread();
  WorkThread(const WorkThread&) = delete;
  WorkThread& operator=(const WorkThread&) = delete;

  // False (the task is not taken) while a thread or task is held.
  bool start(Runable* task);
  // Waits at most |limitMs| for the thread to end, then releases the task. A thread that misses
  // the limit cannot be ended safely: it is detached and keeps its task, which it releases itself
  // when its run returns. Returns false in that case (whatever the task uses must then outlive
  // it), true when no thread is left.
  bool stop(uint32_t limitMs);
  void requestStop() { stopRequested_.store(true); }
  bool isStopRequested() const { return stopRequested_.load(); }
  bool isRunning() const;

 private:
  struct State;
  std::atomic<bool> stopRequested_{false};
  Runable* task_ = nullptr;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace utility
