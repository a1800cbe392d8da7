// The dispatcher on the GLib main loop: a source that drains a locked FIFO of (owner, task),
// and GLib timeouts for timers with ids from our own counter.
#include <glib.h>

#include <map>
#include <mutex>
#include <vector>

#include "utility/base/posted_task_queue.h"
#include "utility/base/tasks.h"

namespace utility {

struct TaskDispatcher::Impl {
  struct Timer {
    Runable* task;
    guint source;
  };

  PostedTaskQueue posted;

  std::map<uint32_t, Timer> timers;  // main thread only
  uint32_t lastTimerId = 0;
  uint32_t runningTimer = 0;
  bool runningTimerStopped = false;

  GSource* source = nullptr;
  GMainContext* context = nullptr;
};

namespace {

TaskDispatcher* gDispatcher = nullptr;
std::once_flag gDispatcherOnce;

struct QueueSource {
  GSource base;
  TaskDispatcher::Impl* impl;
};

gboolean queueReady(TaskDispatcher::Impl* impl) {
  return impl->posted.size() == 0 ? FALSE : TRUE;
}

gboolean prepare(GSource* source, gint* timeout) {
  *timeout = -1;
  return queueReady(reinterpret_cast<QueueSource*>(source)->impl);
}

gboolean check(GSource* source) { return queueReady(reinterpret_cast<QueueSource*>(source)->impl); }

gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
  TaskDispatcher::Impl* impl = reinterpret_cast<QueueSource*>(source)->impl;
  // Deliver what is queued now; tasks posted meanwhile wait for the next round so that other
  // sources (timers, windows) keep running.
  size_t budget = impl->posted.size();
  while (budget-- > 0 && impl->posted.deliverOldest()) {
  }
  return G_SOURCE_CONTINUE;
}

GSourceFuncs gQueueFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

struct TimerTick {
  TaskDispatcher::Impl* impl;
  uint32_t id;
};

gboolean timerTick(gpointer data) {
  auto* tick = static_cast<TimerTick*>(data);
  TaskDispatcher::Impl* impl = tick->impl;
  auto it = impl->timers.find(tick->id);
  if (it == impl->timers.end()) return G_SOURCE_REMOVE;
  Runable* task = it->second.task;
  impl->runningTimer = tick->id;
  impl->runningTimerStopped = false;
  task->run();
  impl->runningTimer = 0;
  if (impl->runningTimerStopped) {
    // The task stopped its own timer: it was kept alive until its run returned.
    task->release();
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

TaskDispatcher::TaskDispatcher() : impl_(new Impl) {
  impl_->context = g_main_context_default();
  impl_->source = g_source_new(&gQueueFuncs, sizeof(QueueSource));
  reinterpret_cast<QueueSource*>(impl_->source)->impl = impl_;
  g_source_set_priority(impl_->source, G_PRIORITY_DEFAULT);
  g_source_attach(impl_->source, impl_->context);
}

TaskDispatcher& TaskDispatcher::create() {
  std::call_once(gDispatcherOnce, [] { gDispatcher = new TaskDispatcher(); });
  return *gDispatcher;
}

TaskDispatcher* TaskDispatcher::instance() { return gDispatcher; }

bool TaskDispatcher::post(const TaskPoster* owner, Runable* task) {
  impl_->posted.push(owner, task, [] { return true; });
  g_main_context_wakeup(impl_->context);
  return true;
}

void TaskDispatcher::cancel(const TaskPoster* owner) { impl_->posted.cancel(owner); }

// The owner's queued tasks leave the queue with its entry: left behind, they would be delivered
// to whatever owner is built next at this address.
void TaskDispatcher::forget(const TaskPoster* owner) { impl_->posted.forget(owner); }

uint32_t TaskDispatcher::startTimer(uint32_t periodMs, Runable* task) {
  uint32_t id = ++impl_->lastTimerId;
  if (id == 0) id = ++impl_->lastTimerId;  // 0 is "no timer"
  auto* tick = new TimerTick{impl_, id};
  const guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, periodMs, timerTick, tick,
                                          [](gpointer data) { delete static_cast<TimerTick*>(data); });
  if (source == 0) return 0;
  impl_->timers[id] = {task, source};
  return id;
}

void TaskDispatcher::stopTimer(uint32_t id) {
  auto it = impl_->timers.find(id);
  if (it == impl_->timers.end()) return;
  const Impl::Timer timer = it->second;
  impl_->timers.erase(it);
  if (id == impl_->runningTimer) {
    // Called from the timer's own task: release it after its run returns (timerTick).
    impl_->runningTimerStopped = true;
    return;
  }
  g_source_remove(timer.source);
  timer.task->release();
}

size_t TaskDispatcher::queuedTasks() const { return impl_->posted.size(); }

}  // namespace utility
