// TaskManager - the one task queue of the program: runs task functions on a
// worker thread away from the GUI thread.
//
// How results steer the queue (docs/task-queue.md describes the same):
//   - RunTask starts one worker that walks the queued tasks in order, pass
//     after pass. The worker works on a copy of the queue taken at RunTask.
//   - A task returning 0 stays in the rotation and is called again on the
//     next pass; a task returning anything else is done for this run and
//     leaves the rotation. So a start-up task that returns 1 runs once per
//     RunTask, and a polling task that returns 0 runs until StopTask.
//   - A task that throws leaves the rotation like a finished one; the worker
//     goes on with the others and counts the failure (FailedTaskCount).
//   - When nothing is left in the rotation the worker sleeps on a condition
//     variable until StopTask; it never spins. A task returning 0 without
//     pausing keeps the worker busy: tasks pace themselves.
//   - StopTask ends the worker between two task calls; a task already
//     running is never interrupted, StopTask waits for it.
#ifndef BRENNA_PLATFORM_TASKMANAGER_H
#define BRENNA_PLATFORM_TASKMANAGER_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PallixThreadSafety.h"

using TaskFunction = int (*)();

class TaskManager {
 public:
  TaskManager();
  // Stops the worker (see StopTask).
  ~TaskManager();
  TaskManager(const TaskManager&) = delete;
  TaskManager& operator=(const TaskManager&) = delete;

  // Returns once no task function runs and none will until the next RunTask.
  // Idempotent; does nothing when no worker runs. Called from a task itself,
  // it only asks the worker to end after that task returns.
  void StopTask();
  // Empties the queue. The rotation of a running worker is not affected.
  void ClearTaskQueue();
  // Appends a task to the queue, in call order. Null is ignored.
  void AddTask2Queue(TaskFunction task);
  // Starts the queued tasks on a worker thread and returns at once.
  // threads: how many workers; this queue always uses one (any value >= 1).
  // passPauseMs: pause between two passes over the rotation (0: none; the
  // tasks pace themselves). Returns 1 when a worker was started, 0 when one
  // already runs (or when called from a task), -1 for threads < 1 or a
  // negative pause. Throws std::system_error when no thread can be created.
  int RunTask(int threads, int passPauseMs);

  // Number of task calls that ended in an exception since construction.
  int FailedTaskCount() const;
  // Number of task calls begun since construction; lets a shutdown check
  // that nothing ran once the queue was stopped.
  long CallCount() const;
  // True from RunTask until StopTask.
  bool IsRunning() const;

 private:
  // One worker and its own stop flag: a stop request belongs to the worker
  // it was made for, never to a later one.
  struct Run {
    std::thread thread;
    bool stop = false;  // guarded by m_mutex
  };

  void WorkerLoop(Run* run, std::vector<TaskFunction> rotation, int passPauseMs);
  bool OnWorkerThread() const;

  mutable PallixMutex m_mutex;
  // Held by StopTask while it joins, so a second caller returns only after
  // the worker has ended too.
  PallixMutex m_stopMutex;
  std::condition_variable_any m_wake;  // waits on m_mutex itself
  std::vector<TaskFunction> m_queue PALLIX_GUARDED_BY(m_mutex);
  std::unique_ptr<Run> m_run PALLIX_GUARDED_BY(m_mutex);
  int m_failed PALLIX_GUARDED_BY(m_mutex) = 0;
  long m_calls PALLIX_GUARDED_BY(m_mutex) = 0;
};

#endif  // BRENNA_PLATFORM_TASKMANAGER_H
