#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/TaskManager.h"

namespace {

// Task functions take no arguments, so what they observe lives here.
std::mutex g_traceLock;
std::string g_trace;        // one letter per call
std::atomic<int> g_inside;  // task calls in progress
std::atomic<int> g_calls[4];
TaskManager* g_selfStopping = nullptr;

void Trace(char letter) {
  std::lock_guard<std::mutex> lock(g_traceLock);
  g_trace += letter;
}

std::string TraceSoFar() {
  std::lock_guard<std::mutex> lock(g_traceLock);
  return g_trace;
}

// Counts and traces; `Result` steers the queue.
template <int N, char Letter, int Result>
int Task() {
  ++g_inside;
  Trace(Letter);
  ++g_calls[N];
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  --g_inside;
  return Result;
}
int Once() { return Task<0, 'I', 1>(); }
int Poll() { return Task<1, 'P', 0>(); }
int Poll2() { return Task<2, 'Q', 0>(); }
int Throws() {
  ++g_calls[3];
  throw std::runtime_error("task failure");
}
int SlowPoll() {
  ++g_inside;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ++g_calls[1];
  --g_inside;
  return 0;
}
int StopsItsOwnQueue() {
  Trace('S');
  g_selfStopping->StopTask();
  return 0;
}

// Waits for a condition the worker will bring about; the bound only keeps a
// broken queue from hanging the test.
template <typename Pred>
bool Eventually(Pred pred) {
  for (int i = 0; i < 20000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

bool CallsReach(int n, int count) {
  return Eventually([&] { return g_calls[n] >= count; });
}

class TaskManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_trace.clear();
    g_inside = 0;
    for (auto& c : g_calls) c = 0;
  }
  TaskManager m_tasks;
};

}  // namespace

TEST_F(TaskManagerTest, OnceTaskRunsFirstThenPollingTasksAlternateInQueueOrder) {
  m_tasks.AddTask2Queue(&Once);
  m_tasks.AddTask2Queue(&Poll);
  m_tasks.AddTask2Queue(&Poll2);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(CallsReach(2, 20));
  m_tasks.StopTask();
  const std::string trace = TraceSoFar();
  ASSERT_GE(trace.size(), 41u);
  EXPECT_EQ(trace[0], 'I');
  for (size_t i = 1; i < trace.size(); ++i) {
    ASSERT_EQ(trace[i], i % 2 == 1 ? 'P' : 'Q') << trace;
  }
}

TEST_F(TaskManagerTest, EveryRunTaskRunsTheOnceTaskAgain) {
  for (int run = 1; run <= 3; ++run) {
    m_tasks.StopTask();
    m_tasks.ClearTaskQueue();
    m_tasks.AddTask2Queue(&Once);
    m_tasks.AddTask2Queue(&Poll);
    // Counted from here: a fast system runs many polls before a stop lands.
    const int polled = g_calls[1];
    ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
    ASSERT_TRUE(CallsReach(1, polled + 30));
    EXPECT_EQ(g_calls[0], run);
  }
  m_tasks.StopTask();
  EXPECT_EQ(g_calls[0], 3);
}

TEST_F(TaskManagerTest, NothingRunsAfterStopTaskReturns) {
  m_tasks.AddTask2Queue(&SlowPoll);
  for (int round = 0; round < 10; ++round) {
    const int before = g_calls[1];
    ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
    ASSERT_TRUE(CallsReach(1, before + 1));
    m_tasks.StopTask();
    EXPECT_EQ(g_inside, 0);
    EXPECT_FALSE(m_tasks.IsRunning());
    const int after = g_calls[1];
    EXPECT_EQ(m_tasks.CallCount(), after) << "the queue counts exactly the calls made";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // room for a stray call
    EXPECT_EQ(g_calls[1], after);
    EXPECT_EQ(m_tasks.CallCount(), after);
  }
}

TEST_F(TaskManagerTest, ConcurrentStopsBothWaitForTheRunningTask) {
  m_tasks.AddTask2Queue(&SlowPoll);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(Eventually([] { return g_inside > 0; }));
  std::atomic<int> insideSeen{0};
  auto stop = [&] {
    m_tasks.StopTask();
    insideSeen += g_inside;
  };
  std::thread a(stop), b(stop);
  a.join();
  b.join();
  EXPECT_EQ(insideSeen, 0);
}

TEST_F(TaskManagerTest, StopTaskIsIdempotentAndHarmlessWithoutAWorker) {
  TaskManager idle;
  idle.StopTask();
  idle.StopTask();
  idle.ClearTaskQueue();
  EXPECT_FALSE(idle.IsRunning());
  ASSERT_EQ(idle.RunTask(1, 0), 1);  // an empty queue: the worker just waits
  EXPECT_TRUE(idle.IsRunning());
  idle.StopTask();
  EXPECT_FALSE(idle.IsRunning());

  m_tasks.AddTask2Queue(&Poll);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(CallsReach(1, 1));
  m_tasks.StopTask();
  m_tasks.StopTask();
  EXPECT_EQ(g_inside, 0);
}

TEST_F(TaskManagerTest, RunTaskWhileRunningStartsNothing) {
  m_tasks.AddTask2Queue(&Once);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(CallsReach(0, 1));
  // The once-task is done, the worker idles; it still counts as running.
  EXPECT_TRUE(m_tasks.IsRunning());
  EXPECT_EQ(m_tasks.RunTask(1, 0), 0);
  m_tasks.StopTask();
  EXPECT_EQ(g_calls[0], 1);
}

TEST_F(TaskManagerTest, ArgumentValidation) {
  m_tasks.AddTask2Queue(nullptr);
  m_tasks.AddTask2Queue(&Once);
  EXPECT_EQ(m_tasks.RunTask(0, 0), -1);
  EXPECT_EQ(m_tasks.RunTask(-3, 0), -1);
  EXPECT_EQ(m_tasks.RunTask(1, -1), -1);
  EXPECT_FALSE(m_tasks.IsRunning());
  EXPECT_EQ(m_tasks.RunTask(4, 0), 1);  // still one worker
  ASSERT_TRUE(CallsReach(0, 1));
  m_tasks.StopTask();
  EXPECT_EQ(TraceSoFar(), "I");  // the null task was never queued
}

TEST_F(TaskManagerTest, ThrowingTaskLeavesTheRotationAndIsCounted) {
  m_tasks.AddTask2Queue(&Throws);
  m_tasks.AddTask2Queue(&Poll);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(CallsReach(1, 20));
  EXPECT_TRUE(m_tasks.IsRunning());
  m_tasks.StopTask();
  EXPECT_EQ(g_calls[3], 1);
  EXPECT_EQ(m_tasks.FailedTaskCount(), 1);
}

TEST_F(TaskManagerTest, ClearTaskQueueLeavesTheRunningRotationAlone) {
  m_tasks.AddTask2Queue(&Poll);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  m_tasks.ClearTaskQueue();
  m_tasks.AddTask2Queue(&Poll2);  // for the next run only
  const int before = g_calls[1];
  ASSERT_TRUE(CallsReach(1, before + 10));
  m_tasks.StopTask();
  EXPECT_EQ(g_calls[2], 0);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(CallsReach(2, 5));
  const int pollCalls = g_calls[1];
  m_tasks.StopTask();
  EXPECT_EQ(g_calls[1], pollCalls);
}

TEST_F(TaskManagerTest, TaskStoppingItsOwnQueueEndsTheWorkerAfterIt) {
  g_selfStopping = &m_tasks;
  m_tasks.AddTask2Queue(&StopsItsOwnQueue);
  m_tasks.AddTask2Queue(&Poll);
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(Eventually([this] { return !m_tasks.IsRunning(); }));
  // A new run joins the finished worker and starts afresh.
  ASSERT_EQ(m_tasks.RunTask(1, 0), 1);
  ASSERT_TRUE(Eventually([] { return TraceSoFar() == "SS"; }));
  m_tasks.StopTask();
  EXPECT_EQ(TraceSoFar(), "SS");  // Poll never ran
}

TEST_F(TaskManagerTest, StopTaskWakesAWorkerPausingBetweenPasses) {
  m_tasks.AddTask2Queue(&Poll);
  ASSERT_EQ(m_tasks.RunTask(1, 3600 * 1000), 1);  // an hour between passes
  ASSERT_TRUE(CallsReach(1, 1));
  m_tasks.StopTask();  // would hang for the hour without the wake-up
  EXPECT_EQ(g_calls[1], 1);
}

TEST_F(TaskManagerTest, DestroyingARunningQueueStopsItFirst) {
  auto tasks = std::make_unique<TaskManager>();
  tasks->AddTask2Queue(&SlowPoll);
  ASSERT_EQ(tasks->RunTask(1, 0), 1);
  ASSERT_TRUE(Eventually([] { return g_inside > 0; }));
  tasks.reset();
  EXPECT_EQ(g_inside, 0);
  const int after = g_calls[1];
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(g_calls[1], after);
}
