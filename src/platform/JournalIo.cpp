// POSIX implementation.
#include "platform/JournalIo.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/FileOps.h"
#include "platform/Mutex.h"

namespace journal_io {

namespace {

// How standard error is written. It is often shared (a terminal with the
// shell, a pipe with a launcher), so its own open file description is
// never made non-blocking: a pipe or terminal gets a descriptor of the
// journal's own, opened again through /proc, and a socket is written with
// MSG_DONTWAIT.
struct StderrState {
  // Every thread that logs writes through it.
  Mutex lock;
  bool known PALLIX_GUARDED_BY(lock) = false;  // dev and ino describe what descriptor 2 was
  dev_t dev PALLIX_GUARDED_BY(lock) = 0;
  ino_t ino PALLIX_GUARDED_BY(lock) = 0;
  int fd PALLIX_GUARDED_BY(lock) = STDERR_FILENO;
  bool own PALLIX_GUARDED_BY(lock) = false;     // fd is ours, non-blocking
  bool socket PALLIX_GUARDED_BY(lock) = false;  // send with MSG_DONTWAIT
  bool polled PALLIX_GUARDED_BY(lock) =
      false;                                  // a pipe or terminal without a descriptor of our own
  bool gone PALLIX_GUARDED_BY(lock) = false;  // its reader has gone for good
};

StderrState& Stderr() {
  static StderrState* state = new StderrState();  // written to until the very end
  return *state;
}

void PrepareStderr(StderrState& s, const struct stat& st) PALLIX_REQUIRES(s.lock) {
  if (s.own) ::close(s.fd);
  s.fd = STDERR_FILENO;
  s.own = s.socket = s.polled = s.gone = false;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.known = true;
  if (S_ISSOCK(st.st_mode)) {
    s.socket = true;
  } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    const int fd = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat own {};
    if (fd >= 0 && ::fstat(fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) {
      s.fd = fd;
      s.own = true;
    } else {
      if (fd >= 0) ::close(fd);
      // No /proc (or a pipe whose reader has gone): ask before each write,
      // and write no more than a pipe takes in one piece.
      s.polled = true;
    }
  }
}

// A write to a pipe whose reader has gone raises SIGPIPE, which would end
// the monitor: blocked on this thread while standard error is written, and
// taken back when it came.
class NoSigpipe {
 public:
  NoSigpipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    m_wasPending = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    m_blocked = ::pthread_sigmask(SIG_BLOCK, &pipe, &m_old) == 0;
  }
  ~NoSigpipe() {
    if (!m_blocked) return;
    if (m_raised && !m_wasPending) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const timespec now{0, 0};
      while (::sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }
  NoSigpipe(const NoSigpipe&) = delete;
  NoSigpipe& operator=(const NoSigpipe&) = delete;
  void Raised() { m_raised = true; }

 private:
  sigset_t m_old{};
  bool m_blocked = false;
  bool m_wasPending = false;
  bool m_raised = false;
};

FileResult ResultOf(FileFault fault) {
  if (fault == FileFault::kNone) return FileResult::kOk;
  return fault == FileFault::kMissing ? FileResult::kMissing : FileResult::kFailed;
}

}  // namespace

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto sinceEpoch = when.time_since_epoch();
  const time_t seconds =
      static_cast<time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  long millis = static_cast<long>(duration_cast<milliseconds>(sinceEpoch).count() % 1000);
  if (millis < 0) millis += 1000;
  tm local{};
  char text[40];
  if (::localtime_r(&seconds, &local) == nullptr) return "0000-00-00 00:00:00.000";
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
  return text;
}

std::string UserStateDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return state;
  std::string home;
  const char* env = std::getenv("HOME");
  if (env != nullptr && env[0] != '\0') {
    home = env;
  } else {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return {};
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/.local/state";
}

std::string IgnoredStateHome() {
  const char* state = std::getenv("XDG_STATE_HOME");
  return state != nullptr && state[0] != '\0' && state[0] != '/' ? std::string(state)
                                                                 : std::string();
}

bool CreatePrivateDirectory(const std::string& dir) {
  return MakeDirectories(dir, NewDirectory::kPrivate) == FileFault::kNone;
}

int OpenAppend(const std::string& path) {
  // O_NONBLOCK: a FIFO under the name is refused at once (no reader) or
  // opened without waiting for one, and then refused below.
  const int fd =
      ::open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) {
    return errno == ELOOP || errno == ENXIO || errno == EISDIR ? kNotRegularFile : -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNotRegularFile;
  }
  return fd;
}

bool CreatePrivateFile(const std::string& path, std::string* why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 && errno != EEXIST) {
    *why = std::strerror(errno);
    return false;
  }
  if (fd >= 0) ::close(fd);
  return true;
}

std::string ReadTail(const std::string& path, std::size_t max) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {};
  std::string tail;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    const auto size = static_cast<unsigned long long>(st.st_size);
    const std::size_t n = size < max ? static_cast<std::size_t>(size) : max;
    tail.resize(n);
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::pread(fd, &tail[got], n - got, static_cast<off_t>(size - n + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    tail.resize(got);
  }
  ::close(fd);
  return tail;
}

long long FileSize(int handle) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool WriteAll(int handle, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(handle, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool IsFileAt(int handle, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(handle, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool Truncate(int handle, unsigned long long size) {
  return ::ftruncate(handle, static_cast<off_t>(size)) == 0;
}

void Close(int handle) {
  if (handle >= 0) ::close(handle);
}

// Missing as the one classification says: the name, or a folder on its
// path, is not there.
FileResult Rename(const std::string& from, const std::string& to) {
  return ResultOf(MoveFileOver(from, to));
}

FileResult Remove(const std::string& path) { return ResultOf(RemoveFile(path)); }

std::size_t WriteToStderr(const char* data, std::size_t size) {
  StderrState& s = Stderr();
  MutexLock guard(s.lock);
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return 0;  // closed
  // Descriptor 2 may have been replaced (dup2) since the last write.
  if (!s.known || st.st_dev != s.dev || st.st_ino != s.ino) PrepareStderr(s, st);
  if (s.gone) return 0;
  NoSigpipe noSigpipe;
  std::size_t done = 0;
  while (done < size) {
    std::size_t piece = size - done;
    ssize_t n;
    if (s.socket) {
      n = ::send(STDERR_FILENO, data + done, piece, MSG_DONTWAIT | MSG_NOSIGNAL);
    } else {
      if (s.polled) {
        pollfd p{STDERR_FILENO, POLLOUT, 0};
        if (::poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) {
          if ((p.revents & POLLERR) != 0) s.gone = true;
          break;
        }
        if (piece > PIPE_BUF) piece = PIPE_BUF;  // a pipe that polls writable takes this much
      }
      n = ::write(s.fd, data + done, piece);
    }
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) noSigpipe.Raised();
    // Its reader has gone for good; anything else (would wait, a full disk)
    // may pass later.
    if (n < 0 && (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN || errno == EBADF))
      s.gone = true;
    break;
  }
  return done;
}

bool StderrIsSystemJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == device &&
         static_cast<unsigned long long>(st.st_ino) == inode;
}

long ProcessId() { return static_cast<long>(::getpid()); }

}  // namespace journal_io
