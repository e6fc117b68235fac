// POSIX implementation. A Windows build uses GetModuleHandleEx /
// GetModuleFileName, SHGetKnownFolderPath and _stat64 + localtime_s.
#include "platform/System.h"

#if defined(_WIN32)
#error "System.cpp: the Windows mapping is not written yet"
#endif

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace pallix::sys {

namespace {
// An address inside this library, for dladdr.
void Anchor() {}
}  // namespace

std::string LibraryFile() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Anchor), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  // A relative name (an executable started by a relative path) is relative
  // to the working directory at start, which we take to be the current one.
  if (!path.empty() && path[0] != '/') {
    std::vector<char> cwd(4096);
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) path = std::string(cwd.data()) + "/" + path;
  }
  return path;
}

std::string LibraryDirectory() {
  const std::string path = LibraryFile();
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

namespace {
bool IsAbsolute(const std::string& p) { return !p.empty() && p[0] == '/'; }
}  // namespace

std::string UserHomeFromDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr)
    return {};
  return found->pw_dir;
}

std::string UserDataHome() {
  std::string xdg = Environment("XDG_DATA_HOME");
  if (IsAbsolute(xdg)) return xdg;
  std::string home = Environment("HOME");
  if (!IsAbsolute(home)) home = UserHomeFromDatabase();
  if (!IsAbsolute(home)) return {};
  return home + "/.local/share";
}

bool FileModifiedLocal(const char* path, int* yyyymmdd, int* hhmmss) {
  struct stat st {};
  if (path == nullptr || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  time_t t = st.st_mtime;
  tm local{};
  if (::localtime_r(&t, &local) == nullptr) return false;
  if (yyyymmdd != nullptr)
    *yyyymmdd = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
  if (hhmmss != nullptr) *hhmmss = local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec;
  return true;
}

void LocalTimestamp(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  if (::localtime_r(&now.tv_sec, &local) == nullptr) {
    std::snprintf(out, size, "0000-00-00 00:00:00.000");
    return;
  }
  std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long>(now.tv_nsec / 1000000));
}

}  // namespace pallix::sys
