// POSIX side of SmallFileSystem.h.
#include "SmallFileSystem.h"

#include <errno.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstring>

SmallFileSystem::SmallFileSystem(const std::string& dir, size_t bytes)
    : m_dir(dir), m_bytes(bytes) {
  if (::unshare(CLONE_NEWNS) != 0) {
    m_error = std::string("unshare: ") + std::strerror(errno);
    return;
  }
  // Mounts made from here on stay in this namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
              ("size=" + std::to_string(bytes)).c_str()) != 0) {
    m_error = std::string("mount: ") + std::strerror(errno);
    return;
  }
  m_mounted = true;
}

bool SmallFileSystem::SetReadOnly(bool readOnly) {
  if (!m_mounted) return false;
  const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
  return ::mount(nullptr, m_dir.c_str(), nullptr, flags,
                 ("size=" + std::to_string(m_bytes)).c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
  if (m_mounted) ::umount2(m_dir.c_str(), MNT_DETACH);
}

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }
