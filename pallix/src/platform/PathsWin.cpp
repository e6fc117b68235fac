// Windows implementation of Paths.h.
#include <shlobj.h>
#include <windows.h>

#include "platform/Paths.h"
#include "platform/System.h"

namespace pallix::sys {

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string UserDataHome() {
  std::string local = Environment("LOCALAPPDATA");
  if (!local.empty()) return local;
  char path[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
    return path;
  return {};
}

}  // namespace pallix::sys
