// Windows implementation of System.h. Paths are GBK text, so only the ANSI
// ("A") calls are used.
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/System.h"

namespace pallix::sys {

namespace {
// An address inside this module, to find which file holds it.
void Anchor() {}
}  // namespace

std::string LibraryFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&Anchor), &module))
    return {};
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(module, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  return std::string(path, n);
}

std::string LibraryDirectory() {
  const std::string file = LibraryFile();
  const std::string::size_type slash = file.find_last_of("\\/");
  if (slash == std::string::npos) return {};
  return file.substr(0, slash);
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// Windows has no user database in the POSIX sense; the profile folder is
// the home directory.
std::string UserHomeFromDatabase() { return Environment("USERPROFILE"); }

std::string UserDataHome() {
  std::string local = Environment("LOCALAPPDATA");
  if (!local.empty()) return local;
  char path[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
    return path;
  return {};
}

bool FileModifiedLocal(const char* path, int* yyyymmdd, int* hhmmss) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr || !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return false;
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &t))
    return false;
  if (yyyymmdd != nullptr) *yyyymmdd = t.wYear * 10000 + t.wMonth * 100 + t.wDay;
  if (hhmmss != nullptr) *hhmmss = t.wHour * 10000 + t.wMinute * 100 + t.wSecond;
  return true;
}

void LocalTimestamp(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  SYSTEMTIME t;
  GetLocalTime(&t);
  std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds);
}

}  // namespace pallix::sys
