// POSIX implementation of PrivateFileIo.h: mode 0600 files in 0700
// folders, opened with O_NOFOLLOW and O_NONBLOCK (a FIFO put in a file's
// place does not hold us up), locked with flock.
#include "platform/PrivateFileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

// The file written aside at `part`, the owner's alone, flushed; false with
// the reason in *why (nothing left behind).
bool WriteAside(const std::string& part, const std::string& text, std::string* why, bool* made) {
  ::unlink(part.c_str());
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  *made = fd >= 0;
  if (fd < 0) {
    *why = Why();
    return false;
  }
  const bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!ok) *why = Why();
  ::close(fd);
  if (!ok) ::unlink(part.c_str());
  return ok;
}

}  // namespace

Read ReadPrivate(const std::string& path, std::size_t maxBytes, std::string* text,
                 std::string* why) {
  text->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Read::kMissing;
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

bool MakePrivateFolderOf(const std::string& path, std::string* error) {
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return true;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    *error = "cannot make " + dir.string() + " (" + ec.message() + ")";
    return false;
  }
  // The folder is the archive's: the owner's alone.
  ::chmod(dir.c_str(), 0700);
  return true;
}

bool ReplacePrivate(const std::string& path, const std::string& text, std::string* error) {
  if (!MakePrivateFolderOf(path, error)) return false;
  const std::string part = path + ".part";
  std::string why;
  bool made = false;
  if (!WriteAside(part, text, &why, &made)) {
    *error = "cannot write " + (made ? path : part) + " (" + why + ")";
    return false;
  }
  // rename() replaces a link at the path itself, never its target.
  if (::rename(part.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + " (" + Why() + ")";
    ::unlink(part.c_str());
    return false;
  }
  return true;
}

Made MakePrivate(const std::string& path, const std::string& text, std::string* why) {
  const std::string part = path + ".part";
  bool made = false;
  if (!WriteAside(part, text, why, &made)) return made ? Made::kCannotWrite : Made::kCannotMake;
  // Linked into place only if no other program made one meanwhile.
  if (::link(part.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(part.c_str());
    if (error == EEXIST) return Made::kExists;
    *why = std::strerror(error);
    return Made::kCannotWrite;
  }
  ::unlink(part.c_str());
  return Made::kMade;
}

Presence LookAt(const std::string& path, std::string* why) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return Presence::kThere;
  if (errno == ENOENT) return Presence::kMissing;
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
  if (fd < 0 && errno == ENOENT && !create) return Open::kMissing;
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
