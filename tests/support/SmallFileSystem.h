// SmallFileSystem - a real file system that fills up: a size-limited tmpfs
// mounted over a directory, in a mount namespace of the calling thread's
// own, so nothing outside the test sees it. Programs the thread starts
// afterwards inherit the mount. Needs root (CAP_SYS_ADMIN); a test without
// it says so and skips.
#ifndef BRENNA_TESTS_SMALLFILESYSTEM_H
#define BRENNA_TESTS_SMALLFILESYSTEM_H

#include <errno.h>
#include <sched.h>
#include <sys/mount.h>

#include <cstring>
#include <fstream>
#include <string>

class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& dir, size_t bytes) : m_dir(dir) {
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
  ~SmallFileSystem() {
    if (m_mounted) ::umount2(m_dir.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool ok() const { return m_mounted; }
  const std::string& error() const { return m_error; }

  // Fills what room is left with the file `path` (inside the mount).
  static void Fill(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const std::string block(4096, 'f');
    while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }

 private:
  std::string m_dir;
  bool m_mounted = false;
  std::string m_error;
};

#endif  // BRENNA_TESTS_SMALLFILESYSTEM_H
