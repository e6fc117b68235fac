// Windows implementation of JournalIo.h. Paths are GBK text, converted
// through code page 936 for the "W" calls (WidePath.h). A handle is a C run-time descriptor over
// the Windows file handle, so the interface stays the same on both systems.
#include <windows.h>
// After windows.h:
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileErrorsWin.h"
#include "platform/FileOps.h"
#include "platform/GbkWide.h"
#include "platform/JournalIo.h"
#include "platform/WidePath.h"
#include "platform/WinSecurity.h"

namespace journal_io {

namespace {

using win_security::PrivateAttributes;

HANDLE Native(int handle) { return reinterpret_cast<HANDLE>(_get_osfhandle(handle)); }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteAllTo(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Missing only when the volume answered that the name is not there: an
// absent drive or share is a failure, so that an archive or a journal file
// on a share that is away is never reported moved aside or rotated.
FileResult ResultOf(FileFault fault) {
  if (fault == FileFault::kNone) return FileResult::kOk;
  return pallix::sys::IsNotFoundOnVolume(GetLastError()) ? FileResult::kMissing
                                                         : FileResult::kFailed;
}

}  // namespace

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  // FILETIME counts 100 ns from 1601-01-01; the system clock from 1970.
  constexpr long long kMillisFrom1601To1970 = 11644473600000LL;
  const long long millis = duration_cast<milliseconds>(when.time_since_epoch()).count();
  if (millis < -kMillisFrom1601To1970) return "0000-00-00 00:00:00.000";
  const unsigned long long ticks =
      static_cast<unsigned long long>(millis + kMillisFrom1601To1970) * 10000ULL;
  FILETIME utcTime;
  utcTime.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFULL);
  utcTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc, local;
  // The zone's rule for that date, summer time included.
  if (!FileTimeToSystemTime(&utcTime, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return "0000-00-00 00:00:00.000";
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
  return text;
}

std::string UserStateDirectory() {
  // The folder as GBK, like every path here; a folder whose name GBK cannot
  // hold is no place for the monitor's files.
  std::string gbk;
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local != nullptr && local[0] != L'\0')
    return WideToGbkExact(local, &gbk) ? gbk : std::string();
  wchar_t path[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK &&
      WideToGbkExact(path, &gbk))
    return gbk;
  return {};
}

std::string IgnoredStateHome() { return {}; }

bool CreatePrivateDirectory(const std::string& dir) {
  return MakeDirectories(dir, NewDirectory::kPrivate) == FileFault::kNone;
}

int OpenAppend(const std::string& path) {
  PrivateAttributes attributes;
  if (!attributes.Known()) return -1;
  // Append access without write access: every write goes to the end, as
  // with O_APPEND. Shared for deletion, so rotation can rename the open
  // file. The reparse-point flag stands for O_NOFOLLOW.
  HANDLE file =
      CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, attributes.get(),
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_ACCESS_DENIED && IsDirectory(path) ? kNotRegularFile : -1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(file);
    return kNotRegularFile;
  }
  const int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
  if (handle < 0) CloseHandle(file);
  return handle;
}

bool CreatePrivateFile(const std::string& path, std::string* why) {
  PrivateAttributes attributes;
  if (!attributes.Known()) {
    *why = "the running user cannot be told";
    return false;
  }
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return true;
  *why = win_security::ErrorText(error);
  return false;
}

std::string ReadTail(const std::string& path, std::size_t max) {
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string tail;
  LARGE_INTEGER size;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
      GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    const unsigned long long total = static_cast<unsigned long long>(size.QuadPart);
    const std::size_t n = total < max ? static_cast<std::size_t>(total) : max;
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(total - n);
    DWORD got = 0;
    tail.resize(n);
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
        !ReadFile(file, &tail[0], static_cast<DWORD>(n), &got, nullptr))
      got = 0;
    tail.resize(got);
  }
  CloseHandle(file);
  return tail;
}

long long FileSize(int handle) {
  LARGE_INTEGER size;
  if (handle < 0 || !GetFileSizeEx(Native(handle), &size)) return -1;
  return size.QuadPart;
}

bool WriteAll(int handle, const char* data, std::size_t size) {
  return handle >= 0 && WriteAllTo(Native(handle), data, size);
}

bool IsFileAt(int handle, const std::string& path) {
  if (handle < 0) return false;
  BY_HANDLE_FILE_INFORMATION open, named;
  if (!GetFileInformationByHandle(Native(handle), &open)) return false;
  // A file deleted while open keeps its name until its last handle goes:
  // it is gone all the same.
  FILE_STANDARD_INFO standard;
  if (!GetFileInformationByHandleEx(Native(handle), FileStandardInfo, &standard, sizeof standard) ||
      standard.DeletePending)
    return false;
  HANDLE file = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool got = GetFileInformationByHandle(file, &named);
  CloseHandle(file);
  return got && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

bool Truncate(int handle, unsigned long long size) {
  if (handle < 0) return false;
  // The append-only handle may not cut the file: a second handle to the
  // same file, with write access, does.
  HANDLE writer = ReOpenFile(Native(handle), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (writer == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = SetFilePointerEx(writer, end, nullptr, FILE_BEGIN) && SetEndOfFile(writer);
  CloseHandle(writer);
  return ok;
}

void Close(int handle) {
  if (handle >= 0) _close(handle);
}

// A journal's rotation does not wait for the disk.
FileResult Rename(const std::string& from, const std::string& to) {
  return ResultOf(MoveFileOver(from, to, MoveWait::kCached));
}

FileResult Remove(const std::string& path) { return ResultOf(RemoveFile(path)); }

std::size_t WriteToStderr(const char* data, std::size_t size) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return 0;
  // A console shows UTF-16 right whatever its code page; a file or a pipe
  // gets the line's UTF-8 as it is.
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode)) {
    const std::wstring wide = Utf8ToWide(std::string_view(data, size));
    DWORD written = 0;
    return WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)
               ? size
               : 0;
  }
  return WriteAllTo(error, data, size) ? size : 0;
}

// Windows has no system journal reading standard error.
bool StderrIsSystemJournal() { return false; }

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

}  // namespace journal_io
