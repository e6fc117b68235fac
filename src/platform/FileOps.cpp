// POSIX implementation of FileOps.h: paths are bytes, std::filesystem
// passes them through unchanged.
#include "platform/FileOps.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool ListFileNames(const std::string& dir, std::vector<std::string>* names, bool directoriesToo) {
  names->clear();
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return false;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code typeEc;
    if (!directoriesToo && it->is_directory(typeEc)) continue;
    names->push_back(it->path().filename().string());
  }
  return true;
}
