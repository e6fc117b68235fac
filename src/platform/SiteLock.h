// SiteLock - one monitor per site. Two monitors on one site would fight
// over its spool directory, its settings and its journal (and the second
// would find the port taken): the first to start holds the site's
// directories for as long as it runs, and a second start finds them held,
// says so and ends before it touches any of them.
//
// POSIX (SiteLock.cpp): an exclusive flock(2) on each directory itself,
// taken without waiting: the same directory under any name (a link, "..")
// is the same lock, any user who may open it meets it, and the system lets
// go of it when the process ends, however it ends. Windows
// (SiteLockWin.cpp): a system-wide named mutex per directory, its name
// made from the full path (letter case, "/" or "\" aside).
#ifndef BRENNA_PLATFORM_SITELOCK_H
#define BRENNA_PLATFORM_SITELOCK_H

#include <cstdint>
#include <string>
#include <vector>

class SiteLock {
 public:
  SiteLock() = default;
  ~SiteLock();  // lets go of every directory held
  SiteLock(const SiteLock&) = delete;
  SiteLock& operator=(const SiteLock&) = delete;

  // Holds each of `directories` (GBK; empty ones are skipped, one named
  // twice is held once) for this process. False when another process holds
  // any of them; what was taken is kept until the object goes. A directory
  // that cannot be opened or locked at all (missing, no permission, a
  // file system without locks) is not held and does not refuse the start.
  bool Hold(const std::vector<std::string>& directories);

 private:
  std::vector<std::intptr_t> held_;  // descriptors on POSIX, mutex HANDLEs on Windows
  std::vector<std::string> keys_;    // what identifies each one held
};

#endif  // BRENNA_PLATFORM_SITELOCK_H
