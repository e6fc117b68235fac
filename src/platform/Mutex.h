// Mutex - the lock the monitor's threads, the archive's writer and
// brenna-web say their shared data with: a mutex clang's thread-safety
// analysis knows as one, with the annotations libPallix and the tree share
// (PallixThreadSafety.h: PALLIX_GUARDED_BY, PALLIX_REQUIRES, ...). Data a
// lock guards is marked PALLIX_GUARDED_BY(lock); the check
// (tests/threadsafety) then fails where it is touched without it.
//
//   Mutex          the lock (std::mutex inside)
//   MutexLock      holds it for a scope
//   RelockableLock holds it for a scope, and may let go of it for a while
//                  (a slow step outside the lock) and take it again
//   WhileUnlocked  runs a step with a held Mutex let go, and takes it
//                  again after, also when the step throws
//   CondVar        waits on a Mutex that is held: written as a loop,
//                  `while (!ready) wake.wait(lock);`, so that the analysis
//                  sees the condition read under its lock
#ifndef BRENNA_PLATFORM_MUTEX_H
#define BRENNA_PLATFORM_MUTEX_H

#include <condition_variable>

#include "PallixThreadSafety.h"

using Mutex = PallixMutex;
using MutexLock = PallixMutexLock;
using CondVar = std::condition_variable_any;

class PALLIX_SCOPED_CAPABILITY RelockableLock {
 public:
  explicit RelockableLock(Mutex& mutex) PALLIX_ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
  ~RelockableLock() PALLIX_RELEASE() {
    if (m_held) m_mutex.unlock();
  }
  RelockableLock(const RelockableLock&) = delete;
  RelockableLock& operator=(const RelockableLock&) = delete;

  // Lets go of the lock until Lock.
  void Unlock() PALLIX_RELEASE() {
    m_mutex.unlock();
    m_held = false;
  }
  void Lock() PALLIX_ACQUIRE() {
    m_mutex.lock();
    m_held = true;
  }

 private:
  Mutex& m_mutex;
  bool m_held = true;
};

// Runs `work` with `mutex`, which the caller holds, let go for its while (a
// slow step, or a line to the journal, that must not hold the others up),
// then takes it again, also when `work` throws. What `work` touches is
// checked as code that holds no lock.
template <class Work>
void WhileUnlocked(Mutex& mutex, Work work) PALLIX_REQUIRES(mutex) {
  mutex.unlock();
  try {
    work();
  } catch (...) {
    mutex.lock();
    throw;
  }
  mutex.lock();
}

#endif  // BRENNA_PLATFORM_MUTEX_H
