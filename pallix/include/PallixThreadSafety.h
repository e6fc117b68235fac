/*
 * PallixThreadSafety.h - which lock guards what, said in code: Clang's
 * thread-safety annotations, so that touching guarded data without its
 * lock is a compile error in the clang check (tests/threadsafety), not a
 * review finding. Other compilers see empty macros.
 *
 * std::mutex of libstdc++ carries no annotation: PallixMutex and
 * PallixMutexLock are the lock and its scope as the analysis knows them.
 * Shared by libPallix and the monitor (like PallixByteOrder.h); not part
 * of the station kit.
 */
#ifndef PALLIX_THREAD_SAFETY_H
#define PALLIX_THREAD_SAFETY_H

#ifdef __cplusplus

#include <mutex>

#if defined(__clang__) && defined(__has_attribute)
#if __has_attribute(guarded_by)
#define PALLIX_TS_ATTRIBUTE(x) __attribute__((x))
#endif
#endif
#ifndef PALLIX_TS_ATTRIBUTE
#define PALLIX_TS_ATTRIBUTE(x)
#endif

#define PALLIX_CAPABILITY(name) PALLIX_TS_ATTRIBUTE(capability(name))
#define PALLIX_SCOPED_CAPABILITY PALLIX_TS_ATTRIBUTE(scoped_lockable)
#define PALLIX_GUARDED_BY(lock) PALLIX_TS_ATTRIBUTE(guarded_by(lock))
#define PALLIX_PT_GUARDED_BY(lock) PALLIX_TS_ATTRIBUTE(pt_guarded_by(lock))
#define PALLIX_REQUIRES(...) PALLIX_TS_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define PALLIX_EXCLUDES(...) PALLIX_TS_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define PALLIX_ACQUIRE(...) PALLIX_TS_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define PALLIX_RELEASE(...) PALLIX_TS_ATTRIBUTE(release_capability(__VA_ARGS__))
#define PALLIX_NO_THREAD_SAFETY_ANALYSIS PALLIX_TS_ATTRIBUTE(no_thread_safety_analysis)

// A std::mutex the analysis knows as a lock.
class PALLIX_CAPABILITY("mutex") PallixMutex {
 public:
  PallixMutex() = default;
  PallixMutex(const PallixMutex&) = delete;
  PallixMutex& operator=(const PallixMutex&) = delete;
  void lock() PALLIX_ACQUIRE() { mutex_.lock(); }
  void unlock() PALLIX_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a PallixMutex for its scope (std::lock_guard, annotated).
class PALLIX_SCOPED_CAPABILITY PallixMutexLock {
 public:
  explicit PallixMutexLock(PallixMutex& mutex) PALLIX_ACQUIRE(mutex) : mutex_(mutex) {
    mutex_.lock();
  }
  ~PallixMutexLock() PALLIX_RELEASE() { mutex_.unlock(); }
  PallixMutexLock(const PallixMutexLock&) = delete;
  PallixMutexLock& operator=(const PallixMutexLock&) = delete;

 private:
  PallixMutex& mutex_;
};

#endif /* __cplusplus */

#endif /* PALLIX_THREAD_SAFETY_H */
