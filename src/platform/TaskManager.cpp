#include "platform/TaskManager.h"

#include <chrono>
#include <cstdio>
#include <exception>

TaskManager::TaskManager() = default;

TaskManager::~TaskManager() { StopTask(); }

void TaskManager::StopTask() {
  std::thread worker;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopRequested = true;
    if (std::this_thread::get_id() == m_workerId) {
      // A task stopping its own queue: the worker ends after this call.
      m_wake.notify_all();
      return;
    }
    worker = std::move(m_worker);
  }
  m_wake.notify_all();
  if (worker.joinable()) worker.join();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_workerId = std::thread::id();
}

void TaskManager::ClearTaskQueue() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.clear();
}

void TaskManager::AddTask2Queue(TaskFunction task) {
  if (task == nullptr) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.push_back(task);
}

int TaskManager::RunTask(int threads, int passPauseMs) {
  if (threads < 1 || passPauseMs < 0) return -1;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_worker.joinable()) return 0;
  m_stopRequested = false;
  m_worker = std::thread(&TaskManager::WorkerLoop, this, m_queue, passPauseMs);
  m_workerId = m_worker.get_id();
  return 1;
}

int TaskManager::FailedTaskCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failed;
}

bool TaskManager::IsRunning() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_worker.joinable();
}

void TaskManager::WorkerLoop(std::vector<TaskFunction> rotation, int passPauseMs) {
  auto stopping = [this] {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopRequested;
  };
  while (!rotation.empty() && !stopping()) {
    for (auto it = rotation.begin(); it != rotation.end();) {
      if (stopping()) return;
      bool done = true;
      try {
        done = (*it)() != 0;
      } catch (...) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_failed;
        std::fprintf(stderr, "TaskManager: a task threw; it leaves the rotation\n");
      }
      it = done ? rotation.erase(it) : it + 1;
    }
    if (passPauseMs > 0) {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait_for(lock, std::chrono::milliseconds(passPauseMs),
                      [this] { return m_stopRequested; });
    }
  }
  std::unique_lock<std::mutex> lock(m_mutex);
  m_wake.wait(lock, [this] { return m_stopRequested; });
}
