#include "utility/base/posted_task_queue.h"

#include <vector>

namespace utility {

void PostedTaskQueue::cancel(const TaskPoster* owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(owner);
  if (it != counts_.end()) it->second = -1;
}

void PostedTaskQueue::forget(const TaskPoster* owner) {
  std::vector<Runable*> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (counts_.erase(owner) == 0) return;  // never posted: nothing queued
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->owner == owner) {
        dropped.push_back(it->task);
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Runable* task : dropped) {
    if (task != nullptr) task->release();
  }
}

bool PostedTaskQueue::deliverOldest() {
  Posted item{};
  bool deliver = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    item = queue_.front();
    queue_.pop_front();
    auto it = counts_.find(item.owner);
    if (it != counts_.end() && it->second >= 0) {
      --it->second;
      deliver = true;
    }
  }
  if (item.task == nullptr) return true;
  if (deliver) item.task->run();
  item.task->release();
  return true;
}

size_t PostedTaskQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

}  // namespace utility
