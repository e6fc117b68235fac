// POSIX implementation of Paths.h.
#include "platform/Paths.h"

#include <filesystem>

#include "platform/System.h"

namespace pallix::sys {

namespace {
bool IsAbsolute(const std::string& p) { return !p.empty() && p[0] == '/'; }
}  // namespace

char PathSeparator() { return '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return !ec;
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(path, ec);
}

std::string UserDataHome() {
  std::string xdg = Environment("XDG_DATA_HOME");
  if (IsAbsolute(xdg)) return xdg;
  std::string home = Environment("HOME");
  if (!IsAbsolute(home)) home = UserHomeFromDatabase();
  if (!IsAbsolute(home)) return {};
  return home + "/.local/share";
}

}  // namespace pallix::sys
