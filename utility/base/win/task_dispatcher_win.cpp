// The dispatcher as a message-only window on the main thread: each post is message 8888
// (wParam the owner, lParam the task); timers are SetTimer timers of that window, with ids from
// our own counter.
//
// The posted tasks are also kept in a locked FIFO, in the order of their messages, and each
// message 8888 delivers the oldest task still there. A message cannot be taken back out of the
// queue, but a task can leave the FIFO: a forgotten owner's tasks do, so that a poster later
// built at the same address never receives them. Every task in the FIFO has a message of its
// own still to come, so none waits for long and none runs out of order.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "utility/base/posted_task_queue.h"
#include "utility/base/tasks.h"
#include "utility/base/win/main_thread_win.h"

namespace utility {

namespace {

constexpr UINT kPostedTaskMessage = 8888;

}  // namespace

struct TaskDispatcher::Impl {
  PostedTaskQueue posted;

  // Main thread only.
  std::map<uint32_t, Runable*> timers;
  uint32_t lastTimerId = 0;
  // Timers whose task is running, and whether it was stopped meanwhile (its release then waits
  // for the run to return).
  std::map<uint32_t, bool> runningTimers;

  HWND window = nullptr;
};

namespace {

std::atomic<TaskDispatcher*> gDispatcher{nullptr};
std::atomic<TaskDispatcher::Impl*> gImpl{nullptr};
std::atomic<HWND> gWindow{nullptr};
std::once_flag gDispatcherOnce;

void timerTick(TaskDispatcher::Impl* impl, HWND window, UINT_PTR id) {
  const auto it = impl->timers.find(static_cast<uint32_t>(id));
  if (it == impl->timers.end()) {
    KillTimer(window, id);  // a tick already queued when its timer stopped
    return;
  }
  const uint32_t timerId = it->first;
  // A task that pumps messages itself (a modal box) is not run again inside its own run.
  if (impl->runningTimers.count(timerId) != 0) return;
  Runable* task = it->second;
  impl->runningTimers[timerId] = false;
  task->run();
  const bool stopped = impl->runningTimers[timerId];
  impl->runningTimers.erase(timerId);
  // The task stopped its own timer: it was kept alive until its run returned.
  if (stopped) task->release();
}

LRESULT CALLBACK dispatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TaskDispatcher::Impl* impl = gImpl.load();
  switch (message) {
    case kPostedTaskMessage:
      if (impl != nullptr) impl->posted.deliverOldest();  // none when its task left with a forgotten owner
      return 0;
    case WM_TIMER:
      if (impl != nullptr) timerTick(impl, window, wParam);
      return 0;
    case win::kQuitRequestMessage:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

namespace win {

HWND dispatcherWindow() { return gWindow.load(); }

}  // namespace win

TaskDispatcher::TaskDispatcher() : impl_(new Impl) {
  gImpl.store(impl_);
  // A "STATIC" window made message-only: no class of our own to register, no instance handle.
  impl_->window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
  if (impl_->window != nullptr) {
    SetWindowLongPtrW(impl_->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dispatcherProc));
  }
}

TaskDispatcher& TaskDispatcher::create() {
  std::call_once(gDispatcherOnce, [] {
    auto* dispatcher = new TaskDispatcher();
    gDispatcher.store(dispatcher);
    gWindow.store(dispatcher->impl_->window);
  });
  return *gDispatcher.load();
}

TaskDispatcher* TaskDispatcher::instance() { return gDispatcher.load(); }

bool TaskDispatcher::post(const TaskPoster* owner, Runable* task) {
  // The message is posted under the queue's lock so that messages and queue keep one order, and a
  // refused post takes back exactly its own task.
  const bool posted = impl_->posted.push(owner, task, [&] {
    return impl_->window != nullptr && PostMessageW(impl_->window, kPostedTaskMessage, reinterpret_cast<WPARAM>(owner),
                                             reinterpret_cast<LPARAM>(task)) != FALSE;
  });
  if (posted) return true;
  // No window, or the thread's queue is full (10,000 messages): nothing will ever deliver it.
  if (task != nullptr) task->release();
  return false;
}

void TaskDispatcher::cancel(const TaskPoster* owner) { impl_->posted.cancel(owner); }

void TaskDispatcher::forget(const TaskPoster* owner) { impl_->posted.forget(owner); }

uint32_t TaskDispatcher::startTimer(uint32_t periodMs, Runable* task) {
  if (impl_->window == nullptr) return 0;
  uint32_t id = ++impl_->lastTimerId;
  if (id == 0) id = ++impl_->lastTimerId;  // 0 is "no timer"
  if (SetTimer(impl_->window, id, periodMs, nullptr) == 0) return 0;
  impl_->timers[id] = task;
  return id;
}

void TaskDispatcher::stopTimer(uint32_t id) {
  auto it = impl_->timers.find(id);
  if (it == impl_->timers.end()) return;
  Runable* task = it->second;
  impl_->timers.erase(it);
  KillTimer(impl_->window, id);
  if (auto running = impl_->runningTimers.find(id); running != impl_->runningTimers.end()) {
    running->second = true;  // called from the timer's own task: released when its run returns
    return;
  }
  task->release();
}

size_t TaskDispatcher::queuedTasks() const { return impl_->posted.size(); }

}  // namespace utility
