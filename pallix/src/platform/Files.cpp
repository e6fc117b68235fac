// POSIX implementation of Files.h: paths are bytes and pass the system
// calls unchanged.
#include "platform/Files.h"

#if defined(_WIN32)
#error "Files.cpp: the Windows build has FilesWin.cpp"
#endif

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace pallix::sys {

namespace {

// Closes a descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_fd; }
  // Closes now; false when the system reports a late write error.
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 || errno == EINTR;
  }

 private:
  int m_fd;
};

constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The whole file behind an open descriptor, if it is a regular one.
FileStatus ReadWhole(int openFlags, const std::string& path, std::size_t maxLength,
                     std::vector<unsigned char>* out) {
  out->clear();
  Descriptor fd(::open(path.c_str(), O_RDONLY | openFlags));
  if (fd.get() < 0) return StatusOfErrno(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return StatusOfErrno(errno);
  if (!S_ISREG(st.st_mode)) return FileStatus::kNotRegular;
  // Read to the end rather than trust the size: the file may still grow.
  unsigned char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      out->clear();
      return StatusOfErrno(error);
    }
    if (n == 0) break;
    if (out->size() + static_cast<std::size_t>(n) > maxLength) {
      out->clear();
      return FileStatus::kTooLarge;
    }
    out->insert(out->end(), buf, buf + n);
  }
  return FileStatus::kOk;
}

}  // namespace

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool EndsWithSeparator(const std::string& path) { return !path.empty() && path.back() == '/'; }

// The path functions may use std::filesystem here: a POSIX path is bytes,
// and it passes them through unchanged.
bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string OnDriveOf(const std::string&, const std::string& path) { return path; }

std::string NormalPath(const std::string& path) {
  std::string s = std::filesystem::path(path).lexically_normal().string();
  const std::size_t root = IsAbsolutePath(s) ? 1 : 0;
  while (s.size() > std::max<std::size_t>(root, 1) && s.back() == '/') s.pop_back();
  return s;
}

std::string DirectoryOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

std::string CurrentDirectory() {
  std::error_code ec;
  return std::filesystem::current_path(ec).string();
}

FileStatus ReadRegularFile(const std::string& path, std::size_t maxLength,
                           std::vector<unsigned char>* out) {
  return ReadWhole(kOpenFlags, path, maxLength, out);
}

FileStatus ReadSettingsFile(const std::string& path, std::size_t maxLength,
                            std::vector<unsigned char>* out) {
  return ReadWhole(kOpenFlags & ~O_NOFOLLOW, path, maxLength, out);
}

FileStatus WriteNewFile(const std::string& path, const unsigned char* data, std::size_t length) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, 0666));
  if (fd.get() < 0) return StatusOfErrno(errno);
  FileStatus status = FileStatus::kOk;
  for (std::size_t done = 0; done < length;) {
    const ssize_t n = ::write(fd.get(), data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      status = n < 0 ? StatusOfErrno(errno) : FileStatus::kNoRoom;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!fd.Close() && status == FileStatus::kOk) status = StatusOfErrno(errno);
  if (status != FileStatus::kOk) ::unlink(path.c_str());
  return status;
}

FileStatus MoveFileOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? FileStatus::kOk : StatusOfErrno(errno);
}

FileStatus RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? FileStatus::kOk : StatusOfErrno(errno);
}

bool MakeDirectories(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::filesystem::is_directory(dir, ec);
}

}  // namespace pallix::sys
