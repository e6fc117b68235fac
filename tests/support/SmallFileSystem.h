// SmallFileSystem - a real file system that fills up: a size-limited tmpfs
// mounted over a directory, in a mount namespace of the calling thread's
// own, so nothing outside the test sees it. Programs the thread starts
// afterwards inherit the mount. Needs root (CAP_SYS_ADMIN); a test without
// it says so and skips. POSIX only: on Windows ok() is false and error()
// says why (the cases that need it are not run there).
#ifndef BRENNA_TESTS_SMALLFILESYSTEM_H
#define BRENNA_TESTS_SMALLFILESYSTEM_H

#include <cstddef>
#include <fstream>
#include <string>

class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& dir, size_t bytes);
  ~SmallFileSystem();
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool ok() const { return m_mounted; }
  const std::string& error() const { return m_error; }

  // Mounts it read-only (true) or writable again (false), with what it
  // holds; false when the remount fails.
  bool SetReadOnly(bool readOnly);

  // Fills what room is left with the file `path` (inside the mount).
  static void Fill(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const std::string block(4096, 'f');
    while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }

 private:
  std::string m_dir;
  size_t m_bytes = 0;
  bool m_mounted = false;
  std::string m_error;
};

// Makes a FIFO at path: what a POSIX spool directory may hold besides files
// and links. False when it cannot be made (always on Windows, which has
// none).
bool MakeFifo(const std::string& path);

#endif  // BRENNA_TESTS_SMALLFILESYSTEM_H
