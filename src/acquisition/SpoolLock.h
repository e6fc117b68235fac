// SpoolLock - the spool lock as clang's thread-safety analysis knows it.
// The lock itself is a std::mutex the application owns (tests and benches
// make their own) and hands over by reference; the analysis cannot follow
// a reference to a lock, so it knows the spool lock by one name,
// theSpoolLock, which SpoolLockGuard says is held for its scope. There is
// one spool lock in a process: what the chunk writer, the transfer ledger
// and the window's scan share under it requires theSpoolLock.
#ifndef BRENNA_ACQUISITION_SPOOLLOCK_H
#define BRENNA_ACQUISITION_SPOOLLOCK_H

#include <mutex>

#include "PallixThreadSafety.h"

// Only a name for the analysis: it holds nothing and is never locked.
class PALLIX_CAPABILITY("mutex") SpoolLockName {};
inline SpoolLockName theSpoolLock;

// Holds the spool lock for its scope (std::lock_guard, annotated).
class PALLIX_SCOPED_CAPABILITY SpoolLockGuard {
 public:
  explicit SpoolLockGuard(std::mutex& spoolLock) PALLIX_ACQUIRE(theSpoolLock) : m_lock(spoolLock) {
    m_lock.lock();
  }
  ~SpoolLockGuard() PALLIX_RELEASE() { m_lock.unlock(); }
  SpoolLockGuard(const SpoolLockGuard&) = delete;
  SpoolLockGuard& operator=(const SpoolLockGuard&) = delete;

 private:
  std::mutex& m_lock;
};

#endif  // BRENNA_ACQUISITION_SPOOLLOCK_H
