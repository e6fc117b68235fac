// POSIX half of PrivateFileIo.h: mode 0600 files in 0700 folders, opened
// with O_NOFOLLOW and O_NONBLOCK (a FIFO put in a file's place does not hold
// us up), locked with flock.
#include "platform/PrivateFileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileErrors.h"
#include "platform/FileOps.h"

namespace private_file_io {

namespace {

std::string Why() { return std::strerror(errno); }

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool IsMissing(int error) {
  return pallix::sys::StatusOfErrno(error) == pallix::sys::FileStatus::kMissing;
}

}  // namespace

bool WriteAside(const std::string& part, const std::string& text, std::string* why, bool* made) {
  RemoveFile(part);
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  *made = fd >= 0;
  if (fd < 0) {
    *why = Why();
    return false;
  }
  const bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) *why = Why();
  ::close(fd);
  if (!ok) RemoveFile(part);
  return ok;
}

Read ReadPrivate(const std::string& path, std::size_t maxBytes, std::string* text,
                 std::string* why) {
  text->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (IsMissing(errno)) return Read::kMissing;
    *why = "cannot be read (" + Why() + ")";
    return Read::kRefused;
  }
  struct stat st {};
  Read result = Read::kOk;
  if (::fstat(fd, &st) != 0) {
    *why = "cannot be read (" + Why() + ")";
    result = Read::kRefused;
  } else if (!S_ISREG(st.st_mode)) {
    *why = "is no regular file";
    result = Read::kRefused;
  } else if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    *why = std::string("may be read by others (mode ") + mode + ")";
    result = Read::kRefused;
  } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    *why = "is larger than " + std::to_string(maxBytes) + " bytes";
    result = Read::kRefused;
  } else {
    text->resize(maxBytes + 1);
    std::size_t have = 0;
    while (have < text->size()) {
      const ssize_t n = ::read(fd, &(*text)[have], text->size() - have);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *why = "cannot be read (" + Why() + ")";
        result = Read::kRefused;
      }
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    text->resize(have);
    if (result == Read::kOk && have > maxBytes) {
      *why = "is larger than " + std::to_string(maxBytes) + " bytes";
      result = Read::kRefused;
    }
  }
  ::close(fd);
  if (result != Read::kOk) text->clear();
  return result;
}

Presence LookAt(const std::string& path, std::string* why) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return Presence::kThere;
  if (IsMissing(errno)) return Presence::kMissing;
  *why = Why();
  return Presence::kUnknown;
}

LockedFile::~LockedFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // lets the lock go
}

LockedFile::Open LockedFile::OpenAndRead(const std::string& path, bool create, std::size_t maxBytes,
                                         std::string* text, std::string* why) {
  const int fd = ::open(
      path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
  if (fd < 0 && IsMissing(errno) && !create) return Open::kMissing;
  handle_ = fd;
  struct stat st {};
  if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0) {
    *why = Why();
    return Open::kFailed;
  }
  if (!S_ISREG(st.st_mode)) return Open::kNotRegular;
  if ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid()) return Open::kNotPrivate;
  if (static_cast<std::size_t>(st.st_size) > maxBytes) return Open::kTooLarge;
  text->assign(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t have = 0;
  while (have < text->size()) {
    const ssize_t n = ::pread(fd, &(*text)[have], text->size() - have, static_cast<off_t>(have));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    have += static_cast<std::size_t>(n);
  }
  text->resize(have);
  return Open::kOk;
}

bool LockedFile::Rewrite(const std::string& text, std::string* why) {
  const int fd = static_cast<int>(handle_);
  bool ok = fd >= 0 && ::ftruncate(fd, 0) == 0;
  std::size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n =
        ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) == 0) return true;
  *why = Why();
  return false;
}

bool RandomBytes(unsigned char* out, std::size_t n) {
  std::size_t have = 0;
  while (have < n) {
    const ssize_t got = getrandom(out + have, n - have, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    have += static_cast<std::size_t>(got);
  }
  return true;
}

std::string LastError() { return Why(); }

bool StandardOutputPrivate() {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) return true;
  return (st.st_mode & 077) == 0;
}

const char* MakePrivateHint() { return "make it 0600 (chmod 600)"; }

}  // namespace private_file_io
