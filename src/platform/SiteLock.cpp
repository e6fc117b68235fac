// POSIX side of SiteLock.h.
#include "platform/SiteLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The directory as the system knows it, whatever its name.
std::string KeyOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::string();
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

}  // namespace

SiteLock::~SiteLock() {
  for (const std::intptr_t fd : held_) ::close(static_cast<int>(fd));
}

bool SiteLock::Hold(const std::vector<std::string>& directories) {
  for (const std::string& dir : directories) {
    if (dir.empty()) continue;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    const std::string key = KeyOf(fd);
    // A second lock of the same directory from this process would meet
    // the first.
    if (key.empty() || std::find(keys_.begin(), keys_.end(), key) != keys_.end()) {
      ::close(fd);
      continue;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) return false;
      continue;  // a file system without locks: not held, not refused
    }
    held_.push_back(fd);
    keys_.push_back(key);
  }
  return true;
}
