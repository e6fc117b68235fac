// A counter read without its lock: the thread-safety check must refuse it.
#include "PallixThreadSafety.h"

class Counter {
 public:
  void Add() {
    PallixMutexLock hold(lock_);
    ++count_;
  }
  int Count() const { return count_; }

 private:
  mutable PallixMutex lock_;
  int count_ PALLIX_GUARDED_BY(lock_) = 0;
};

int main() {
  Counter c;
  c.Add();
  return c.Count();
}
