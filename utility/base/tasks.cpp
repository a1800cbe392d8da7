#include "utility/base/tasks.h"

namespace utility {

bool TaskPoster::post(Runable* task) {
  TaskDispatcher* dispatcher = TaskDispatcher::instance();
  if (dispatcher == nullptr) {  // no main loop in this process: nothing can run the task
    if (task != nullptr) task->release();
    return false;
  }
  return dispatcher->post(this, task);
}

TaskPoster::~TaskPoster() {
  if (TaskDispatcher* dispatcher = TaskDispatcher::instance()) dispatcher->forget(this);
}

void TaskPoster::cancel() {
  if (TaskDispatcher* dispatcher = TaskDispatcher::instance()) dispatcher->cancel(this);
}

bool TaskTimer::start(uint32_t periodMs, Runable* task) {
  if (periodMs == 0 || task == nullptr) return false;
  TaskDispatcher* dispatcher = TaskDispatcher::instance();
  if (dispatcher == nullptr) {
    task->release();
    return false;
  }
  stop();
  id_ = dispatcher->startTimer(periodMs, task);
  if (id_ == 0) task->release();
  return id_ != 0;
}

void TaskTimer::stop() {
  if (id_ == 0) return;
  if (TaskDispatcher* dispatcher = TaskDispatcher::instance()) dispatcher->stopTimer(id_);
  id_ = 0;
}

bool runOnMainThread(std::function<void()> function) {
  static TaskPoster* const kPoster = new TaskPoster();  // lives as long as the process
  return kPoster->post(makeRunable(std::move(function)));
}

}  // namespace utility
