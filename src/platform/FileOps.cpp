// POSIX implementation of FileOps.h: paths are bytes and pass the system
// calls unchanged.
#include "platform/FileOps.h"

#if defined(_WIN32)
#error "FileOps.cpp: the Windows build has FileOpsWin.cpp"
#endif

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileFaultOf.h"

namespace {

FileFault FaultOfErrno(int error) { return FaultOf(pallix::sys::StatusOfErrno(error)); }

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Closes a directory stream on every path out.
class Directory {
 public:
  explicit Directory(const std::string& path) : m_dir(::opendir(path.c_str())) {}
  ~Directory() {
    if (m_dir != nullptr) ::closedir(m_dir);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  DIR* get() const { return m_dir; }

 private:
  DIR* m_dir;
};

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool CanNameFile(const std::string&) { return true; }

std::string ParentDirectory(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

FileFault InspectFile(const std::string& path, RegularFileInfo* info) {
  *info = RegularFileInfo();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return FaultOfErrno(errno);
  if (!S_ISREG(st.st_mode)) return FileFault::kNotRegular;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  info->size = static_cast<long long>(st.st_size);
  info->age = std::chrono::seconds(static_cast<long long>(now.tv_sec) -
                                   static_cast<long long>(st.st_mtim.tv_sec));
  info->modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                     static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  return FileFault::kNone;
}

FileFault ResolveFile(const std::string& path, std::string* resolved) {
  *resolved = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FaultOfErrno(errno);
  if (!S_ISREG(st.st_mode)) return FileFault::kNotRegular;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    *resolved = real;
    std::free(real);
  }
  return FileFault::kNone;
}

FileFault IdentifyFile(const std::string& path, FileIdentity* id) {
  *id = FileIdentity();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return FaultOfErrno(errno);
  if (!S_ISREG(st.st_mode)) return FileFault::kNotRegular;
  id->volume = static_cast<std::uint64_t>(st.st_dev);
  id->file = static_cast<std::uint64_t>(st.st_ino);
  id->links = static_cast<std::uint64_t>(st.st_nlink);
  return FileFault::kNone;
}

bool ListFileNames(const std::string& dir, std::vector<std::string>* names, bool everything) {
  names->clear();
  Directory d(dir);
  if (d.get() == nullptr) return false;
  while (const dirent* entry = ::readdir(d.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!everything) {
      bool regular = entry->d_type == DT_REG;
      // Some file systems do not fill in the type: ask for it, not following
      // a link.
      if (entry->d_type == DT_UNKNOWN) {
        struct stat st {};
        regular = ::fstatat(::dirfd(d.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                  S_ISREG(st.st_mode);
      }
      if (!regular) continue;
    }
    names->push_back(name);
  }
  return true;
}

FileFault MoveFileOver(const std::string& from, const std::string& to, MoveWait) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? FileFault::kNone : FaultOfErrno(errno);
}

FileFault MoveFileToNewName(const std::string& from, const std::string& to, bool* taken) {
  *taken = false;
  if (::link(from.c_str(), to.c_str()) != 0) {
    *taken = errno == EEXIST;
    return FaultOfErrno(errno);
  }
  // The file is in place under its new name whatever the old one does.
  ::unlink(from.c_str());
  return FileFault::kNone;
}

FileFault RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? FileFault::kNone : FaultOfErrno(errno);
}

bool RemoveRegularFile(const std::string& path) {
  struct stat st {};
  // Only files are ours to remove; whatever else sits under the name stays.
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::unlink(path.c_str()) == 0;
}

DirectoryKind InspectDirectory(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? DirectoryKind::kDirectory : DirectoryKind::kNotDirectory;
  const int error = errno;
  if (error == ELOOP) return DirectoryKind::kBrokenLink;
  if (error != ENOENT && error != ENOTDIR) return DirectoryKind::kUnreachable;
  return ::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? DirectoryKind::kBrokenLink
                                                               : DirectoryKind::kMissing;
}

bool FreeSpace(const std::string& path, std::uint64_t* available, std::uint64_t* total) {
  struct statvfs fs {};
  if (::statvfs(path.c_str(), &fs) != 0) return false;
  *available = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  *total = static_cast<std::uint64_t>(fs.f_blocks) * fs.f_frsize;
  return true;
}

FileFault MakeDirectories(const std::string& dir, NewDirectory access) {
  if (dir.empty()) return FileFault::kMissing;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return FileFault::kNone;
    errno = ENOTDIR;  // the system's words for a caller that says why
    return FileFault::kOther;
  }
  std::string::size_type end = dir.find_last_not_of('/');
  const std::string::size_type slash = end == std::string::npos ? end : dir.find_last_of('/', end);
  if (slash != std::string::npos && slash > 0) {
    const FileFault parent = MakeDirectories(dir.substr(0, slash), access);
    if (parent != FileFault::kNone) return parent;
  }
  if (::mkdir(dir.c_str(), access == NewDirectory::kPrivate ? 0700 : 0777) == 0)
    return FileFault::kNone;
  const int error = errno;
  // Another process may have made it meanwhile.
  if (error == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return FileFault::kNone;
  return error == EEXIST ? FileFault::kOther : FaultOfErrno(error);
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
  // A second name of the file (a hard link put there) would carry what is
  // written to wherever its other name lies, outside the spool directory.
  if (mode != Mode::kRead && st.st_nlink > 1) {
    ::close(fd);
    return FileFault::kHardLinked;
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
  m_handle = kClosed;
  // The descriptor is gone after close whatever it reports; EINTR is not
  // retried.
  return ::close(fd) == 0 || errno == EINTR ? FileFault::kNone : FaultOfErrno(errno);
}
