// TaskManager - the one task queue of the program: runs task functions on a
// worker thread away from the GUI thread.
//
// How results steer the queue (docs/operations.md describes the same):
//   - RunTask starts one worker that walks the queued tasks in order, pass
//     after pass.
//   - A task returning 0 stays in the rotation and is called again on the
//     next pass; a task returning anything else is done for this run and
//     leaves the rotation. So a start-up task that returns 1 runs once per
//     RunTask, and a polling task that returns 0 runs until StopTask.
//   - A task that throws leaves the rotation like a finished one; the worker
//     goes on with the others and counts the failure (FailedTaskCount).
//   - When nothing is left in the rotation the worker sleeps on a condition
//     variable until StopTask; it never spins.
#ifndef BRENNA_PLATFORM_TASKMANAGER_H
#define BRENNA_PLATFORM_TASKMANAGER_H

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using TaskFunction = int (*)();

class TaskManager {
 public:
  TaskManager();
  ~TaskManager();
  TaskManager(const TaskManager&) = delete;
  TaskManager& operator=(const TaskManager&) = delete;

  // Returns once no task function runs and none will until the next RunTask.
  // Idempotent. Called from a task itself, it only asks the worker to end.
  void StopTask();
  // Empties the queue. The rotation of a running worker is not affected.
  void ClearTaskQueue();
  // Appends a task to the queue, in call order. Null is ignored.
  void AddTask2Queue(TaskFunction task);
  // Starts the queued tasks on a worker thread and returns at once.
  // threads: how many workers; this queue always uses one (any value >= 1).
  // passPauseMs: pause between two passes over the rotation (0: none; the
  // tasks pace themselves). Returns 1 when a worker was started, 0 when one
  // already runs, -1 for threads < 1 or a negative pause.
  int RunTask(int threads, int passPauseMs);

  // Number of task calls that ended in an exception since construction.
  int FailedTaskCount() const;
  bool IsRunning() const;

 private:
  void WorkerLoop(std::vector<TaskFunction> rotation, int passPauseMs);

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::vector<TaskFunction> m_queue;
  std::thread m_worker;
  std::thread::id m_workerId;
  bool m_stopRequested = false;
  int m_failed = 0;
};

#endif  // BRENNA_PLATFORM_TASKMANAGER_H
