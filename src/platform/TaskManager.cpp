#include "platform/TaskManager.h"

#include <chrono>
#include <exception>
#include <string>

#include "journal/Journal.h"

namespace {
// The queue whose worker runs on this thread, if any.
thread_local const TaskManager* t_workerOf = nullptr;
}  // namespace

TaskManager::TaskManager() = default;

TaskManager::~TaskManager() {
  if (OnWorkerThread()) {
    // A task is ending the process (exit from the worker): the thread cannot
    // join itself, and it never returns to this object.
    PallixMutexLock lock(m_mutex);
    if (m_run) {
      m_run->stop = true;
      m_run->thread.detach();
    }
    return;
  }
  StopTask();
}

bool TaskManager::OnWorkerThread() const { return t_workerOf == this; }

void TaskManager::StopTask() {
  if (OnWorkerThread()) {
    PallixMutexLock lock(m_mutex);
    if (m_run) m_run->stop = true;
    return;  // nobody waits on the wake-up: the worker checks after this task
  }
  PallixMutexLock stopping(m_stopMutex);
  std::unique_ptr<Run> run;
  {
    PallixMutexLock lock(m_mutex);
    run = std::move(m_run);
    if (!run) return;
    run->stop = true;
  }
  m_wake.notify_all();
  run->thread.join();
}

void TaskManager::ClearTaskQueue() {
  PallixMutexLock lock(m_mutex);
  m_queue.clear();
}

void TaskManager::AddTask2Queue(TaskFunction task) {
  if (task == nullptr) return;
  PallixMutexLock lock(m_mutex);
  m_queue.push_back(task);
}

int TaskManager::RunTask(int threads, int passPauseMs) {
  if (threads < 1 || passPauseMs < 0) return -1;
  if (OnWorkerThread()) return 0;
  bool finishing = false;
  {
    PallixMutexLock lock(m_mutex);
    if (m_run && !m_run->stop) return 0;
    finishing = m_run != nullptr;  // a task stopped its own worker
  }
  if (finishing) StopTask();  // joins it

  PallixMutexLock lock(m_mutex);
  if (m_run) return 0;  // another thread started one meanwhile
  auto run = std::make_unique<Run>();
  // The worker starts at once but needs m_mutex before it reads anything.
  run->thread = std::thread(&TaskManager::WorkerLoop, this, run.get(), m_queue, passPauseMs);
  m_run = std::move(run);
  return 1;
}

long TaskManager::CallCount() const {
  PallixMutexLock lock(m_mutex);
  return m_calls;
}

int TaskManager::FailedTaskCount() const {
  PallixMutexLock lock(m_mutex);
  return m_failed;
}

bool TaskManager::IsRunning() const {
  PallixMutexLock lock(m_mutex);
  return m_run && !m_run->stop;
}

// `run` stays valid while this runs: whoever takes it out of m_run joins
// this thread before destroying it.
void TaskManager::WorkerLoop(Run* run, std::vector<TaskFunction> rotation, int passPauseMs) {
  t_workerOf = this;
  // Checked before every call; a call counts as begun under the same lock.
  auto stopping = [this, run] {
    PallixMutexLock lock(m_mutex);
    if (run->stop) return true;
    ++m_calls;
    return false;
  };
  while (!rotation.empty()) {
    for (auto it = rotation.begin(); it != rotation.end();) {
      if (stopping()) return;
      bool done = true;
      const char* what = nullptr;
      std::string text;
      try {
        done = (*it)() != 0;
      } catch (const std::exception& e) {
        text = e.what();
        what = text.c_str();
      } catch (...) {
        what = "not a standard exception";
      }
      if (what != nullptr) {
        int failed;
        {
          PallixMutexLock lock(m_mutex);
          failed = ++m_failed;
        }
        // A task that leaves the rotation this way stays out until the next
        // start: the network task is the one that matters.
        BRENNA_LOG(kError, kNet,
                   "a task of the task queue failed (%s) and leaves the rotation (%d so far): "
                   "if it was the network task, nothing more is received until the monitor is "
                   "started again",
                   what, failed);
      }
      it = done ? rotation.erase(it) : it + 1;
    }
    if (passPauseMs > 0) {
      PallixMutexLock lock(m_mutex);
      if (m_wake.wait_for(m_mutex, std::chrono::milliseconds(passPauseMs),
                          [run] { return run->stop; })) {
        return;
      }
    }
  }
  PallixMutexLock lock(m_mutex);
  m_wake.wait(m_mutex, [run] { return run->stop; });
}
