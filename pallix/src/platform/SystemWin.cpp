// Windows implementation of System.h. Paths are GBK text, converted
// through code page 936 for the "W" calls (WideTextWin.h).
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/System.h"
#include "platform/WideTextWin.h"

namespace pallix::sys {

namespace {
// An address inside this module, to find which file holds it.
void Anchor() {}
}  // namespace

std::string LibraryFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&Anchor), &module))
    return {};
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  std::string gbk;
  // A folder whose name GBK cannot hold is no place to name files from.
  if (n == 0 || n >= MAX_PATH || !GbkPath(path, static_cast<int>(n), &gbk)) return {};
  return gbk;
}

std::string LibraryDirectory() {
  const std::string file = LibraryFile();
  // The last separator of its own: a GBK character's second byte may be
  // 0x5C.
  std::string::size_type slash = std::string::npos;
  for (std::string::size_type i = 0; i < file.size(); ++i) {
    if (IsGbkLead(file[i]) && i + 1 < file.size())
      ++i;
    else if (file[i] == '\\' || file[i] == '/')
      slash = i;
  }
  if (slash == std::string::npos) return {};
  return file.substr(0, slash);
}

std::string Environment(const char* name) {
  // As GBK, like every path of the library.
  const std::wstring wideName(name, name + std::strlen(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  std::string gbk;
  if (value == nullptr || !GbkPath(value, static_cast<int>(wcslen(value)), &gbk)) return {};
  return gbk;
}

// Windows has no user database in the POSIX sense; the profile folder is
// the home directory.
std::string UserHomeFromDatabase() { return Environment("USERPROFILE"); }

std::string UserDataHome() {
  std::string local = Environment("LOCALAPPDATA");
  if (!local.empty()) return local;
  wchar_t path[MAX_PATH];
  std::string gbk;
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK &&
      GbkPath(path, static_cast<int>(wcslen(path)), &gbk))
    return gbk;
  return {};
}

bool FileModifiedLocal(const char* path, int* yyyymmdd, int* hhmmss) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path == nullptr ||
      !GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) ||
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
