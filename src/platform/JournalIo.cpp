// POSIX implementation.
#include "platform/JournalIo.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace journal_io {

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

bool CreatePrivateDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string::size_type slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !CreatePrivateDirectory(dir.substr(0, slash))) {
    return false;
  }
  if (::mkdir(dir.c_str(), 0700) == 0) return true;
  // Another process may have made it meanwhile.
  return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int OpenAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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

bool Truncate(int handle) { return ::ftruncate(handle, 0) == 0; }

void Close(int handle) {
  if (handle >= 0) ::close(handle);
}

FileResult Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return FileResult::kOk;
  return errno == ENOENT ? FileResult::kMissing : FileResult::kFailed;
}

FileResult Remove(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return FileResult::kOk;
  return errno == ENOENT ? FileResult::kMissing : FileResult::kFailed;
}

void WriteToStderr(const char* data, std::size_t size) { WriteAll(STDERR_FILENO, data, size); }

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
