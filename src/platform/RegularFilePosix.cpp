// POSIX implementation of RegularFile. A Windows build opens with
// CreateFile(FILE_FLAG_OPEN_REPARSE_POINT), checks GetFileType and the
// attributes, and flushes with FlushFileBuffers.
#include "platform/RegularFile.h"

#if defined(_WIN32)
#error "RegularFilePosix.cpp: the Windows build has its own RegularFile"
#endif

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileFault FaultOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileFault::kMissing;
    case ELOOP:   // O_NOFOLLOW met a link
    case EISDIR:  // a directory opened for writing
    case ENXIO:   // a FIFO without a reader, a device without its hardware
      return FileFault::kNotRegular;
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
      return FileFault::kNoRoom;
    default:
      return FileFault::kOther;
  }
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

RegularFile::~RegularFile() {
  if (IsOpen()) ::close(Fd(m_handle));
}

FileFault RegularFile::Open(const std::string& path, Mode mode, bool* created) {
  if (created != nullptr) *created = false;
  if (IsOpen()) Close();
  // O_NONBLOCK: opening a FIFO or a device must not wait; a regular file
  // ignores it.
  const int common = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = -1;
  bool made = false;
  switch (mode) {
    case Mode::kRead:
      fd = ::open(path.c_str(), O_RDONLY | common);
      break;
    case Mode::kUpdate:
      fd = ::open(path.c_str(), O_RDWR | common);
      if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | common, 0666);
        made = fd >= 0;
      }
      break;
    case Mode::kReplace:
      // Not O_TRUNC: only a file found to be regular is emptied.
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | common, 0666);
      break;
  }
  if (fd < 0) return FaultOfErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return FaultOfErrno(error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return FileFault::kNotRegular;
  }
  if (mode == Mode::kReplace && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    return FaultOfErrno(error);
  }
  m_handle = fd;
  if (created != nullptr) *created = made;
  return FileFault::kNone;
}

FileFault RegularFile::Size(std::int64_t* size) const {
  struct stat st {};
  if (!IsOpen()) return FileFault::kOther;
  if (::fstat(Fd(m_handle), &st) != 0) return FaultOfErrno(errno);
  *size = st.st_size;
  return FileFault::kNone;
}

FileFault RegularFile::ReadAt(std::int64_t offset, void* buf, std::size_t n, std::size_t* got) {
  *got = 0;
  if (!IsOpen()) return FileFault::kOther;
  char* p = static_cast<char*>(buf);
  while (*got < n) {
    const ssize_t r = ::pread(Fd(m_handle), p + *got, n - *got, offset + *got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return FaultOfErrno(errno);
    if (r == 0) break;
    *got += static_cast<std::size_t>(r);
  }
  return FileFault::kNone;
}

FileFault RegularFile::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
  if (!IsOpen()) return FileFault::kOther;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = ::pwrite(Fd(m_handle), p + done, n - done, offset + done);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return FaultOfErrno(errno);
    if (w == 0) return FileFault::kNoRoom;
    done += static_cast<std::size_t>(w);
  }
  return FileFault::kNone;
}

FileFault RegularFile::Truncate(std::int64_t size) {
  if (!IsOpen()) return FileFault::kOther;
  return ::ftruncate(Fd(m_handle), size) == 0 ? FileFault::kNone : FaultOfErrno(errno);
}

FileFault RegularFile::Sync() {
  if (!IsOpen()) return FileFault::kOther;
  return ::fsync(Fd(m_handle)) == 0 ? FileFault::kNone : FaultOfErrno(errno);
}

FileFault RegularFile::Close() {
  if (!IsOpen()) return FileFault::kNone;
  const int fd = Fd(m_handle);
  m_handle = -1;
  // The descriptor is gone after close whatever it reports; EINTR is not
  // retried.
  return ::close(fd) == 0 || errno == EINTR ? FileFault::kNone : FaultOfErrno(errno);
}

FileFault SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FaultOfErrno(errno);
  // Some file systems cannot sync a directory (EINVAL): nothing more to do.
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  const int error = errno;
  ::close(fd);
  return ok ? FileFault::kNone : FaultOfErrno(error);
}

FileFault FaultOf(const std::error_code& ec) {
  if (!ec) return FileFault::kNone;
  // std::filesystem reports the system's own error numbers.
  if (ec.category() == std::system_category() || ec.category() == std::generic_category())
    return FaultOfErrno(ec.value());
  return FileFault::kOther;
}
