// POSIX steps of FileStore.h: paths are bytes, and links are followed by
// hand so that a link stays a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/FileErrors.h"
#include "platform/FileStore.h"

namespace fs = std::filesystem;

namespace {

// Links followed before a chain counts as a loop (the kernel's own limit).
constexpr int kMaxLinks = 40;
// Names tried for the aside file before giving up.
constexpr int kAsideAttempts = 100;

std::string AsideName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  const auto ticks =
      static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".new~%lx%lx%lx", static_cast<unsigned long>(getpid()),
                ticks & 0xFFFFFUL, counter.fetch_add(1));
  return path + suffix;
}

// A failed open as a read's result: missing, not a regular file (a link
// where none is followed, a FIFO without a writer), or failed.
FileStore::ReadResult ResultOf(pallix::sys::FileStatus status) {
  using pallix::sys::FileStatus;
  if (status == FileStatus::kMissing) return FileStore::ReadResult::kMissing;
  return status == FileStatus::kNotRegular ? FileStore::ReadResult::kNotRegular
                                           : FileStore::ReadResult::kFailed;
}

}  // namespace

std::string FileStore::Resolve(const std::string& path) {
  fs::path current(path);
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(current, ec);
    if (ec || !fs::is_symlink(status)) return current.string();  // the end, present or not
    const fs::path target = fs::read_symlink(current, ec);
    if (ec) return std::string();
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return std::string();
}

FileStore::ReadResult FileStore::Read(const std::string& path, std::string* bytes) {
  bytes->clear();
  // Non-blocking, so a pipe in the file's place cannot hold the reader.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return ResultOf(pallix::sys::StatusOfErrno(errno));
  struct stat st {};
  ReadResult refused = ReadResult::kOk;
  if (::fstat(fd, &st) != 0)
    refused = ReadResult::kFailed;
  else if (!S_ISREG(st.st_mode))
    refused = ReadResult::kNotRegular;
  else if (static_cast<unsigned long long>(st.st_size) > kMaxFileBytes)
    refused = ReadResult::kTooLarge;
  if (refused != ReadResult::kOk) {
    ::close(fd);
    return refused;
  }
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      bytes->clear();
      return ReadResult::kFailed;
    }
    if (bytes->size() + static_cast<size_t>(n) > kMaxFileBytes) {
      ::close(fd);
      bytes->clear();
      return ReadResult::kTooLarge;
    }
    bytes->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::kOk;
}

FileStore::ReadResult FileStore::Inspect(const std::string& path, FileInfo* info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return pallix::sys::StatusOfErrno(errno) == pallix::sys::FileStatus::kMissing
               ? ReadResult::kMissing
               : ReadResult::kFailed;
  }
  if (!S_ISREG(st.st_mode)) return ReadResult::kFailed;
  info->mode = st.st_mode & 07777;
  info->owner = st.st_uid;
  info->group = st.st_gid;
  // Root may write anything; a file without a single write bit is still
  // meant to stay as it is.
  info->writable = (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
  return ReadResult::kOk;
}

int FileStore::CreateAside(const std::string& path, bool keepPrivate, std::string* aside) {
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    *aside = AsideName(path);
    const int fd = ::open(aside->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          keepPrivate ? 0600 : 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  aside->clear();
  return -1;
}

bool FileStore::Write(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t written = ::write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FileStore::KeepOwnerAndMode(int fd, const FileInfo& info) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  // The owner first: changing it may clear set-id bits, which the mode then
  // puts back.
  if ((st.st_uid != info.owner || st.st_gid != info.group) &&
      ::fchown(fd, info.owner, info.group) != 0) {
    return false;
  }
  return ::fchmod(fd, info.mode) == 0;
}

bool FileStore::Flush(int fd) { return ::fsync(fd) == 0; }

bool FileStore::Close(int fd) { return ::close(fd) == 0; }
