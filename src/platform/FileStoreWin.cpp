// Windows steps of FileStore.h, through the "W" calls with GBK paths
// converted through code page 936 (WidePath.h), whatever the system's own
// code page is. Handles are C run-time descriptors over Win32 file handles.
// Renaming, removing and the folder's flush are FileOps.h's (FileStore.cpp).
#include <windows.h>
// windows.h first: io.h's declarations need its types.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/FileErrorsWin.h"
#include "platform/FileStore.h"
#include "platform/WidePath.h"

namespace {

// Names tried for the aside file before giving up.
constexpr int kAsideAttempts = 100;

// Attributes a replacement carries over. Read-only never gets this far (the
// file is refused); directory, reparse point and the like are no settings
// file's.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::string AsideName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".new~%lx%lx%lx",
                static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long>(GetTickCount64() & 0xFFFFFUL), counter.fetch_add(1));
  return path + suffix;
}

// Only what the volume says is not there: a settings file on a share that
// is away is not taken for missing, read as defaults and then written over.
bool IsMissing(DWORD error) { return pallix::sys::IsNotFoundOnVolume(error); }

HANDLE Raw(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// Whether this process may open the file for writing now. Opening changes
// neither contents nor times.
bool OpensForWriting(const std::string& path) {
  const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace

std::string FileStore::Resolve(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return std::string();
  return path;  // present or not; what cannot be examined fails later
}

FileStore::ReadResult FileStore::Read(const std::string& path, std::string* bytes) {
  bytes->clear();
  const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return ReadResult::kMissing;
    // A folder does not open this way.
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? ReadResult::kNotRegular
               : ReadResult::kFailed;
  }
  // A pipe or a device opens but is no file.
  LARGE_INTEGER size{};
  ReadResult refused = ReadResult::kOk;
  if (GetFileType(h) != FILE_TYPE_DISK)
    refused = ReadResult::kNotRegular;
  else if (!GetFileSizeEx(h, &size))
    refused = ReadResult::kFailed;
  else if (static_cast<unsigned long long>(size.QuadPart) > kMaxFileBytes)
    refused = ReadResult::kTooLarge;
  if (refused != ReadResult::kOk) {
    CloseHandle(h);
    return refused;
  }
  char buf[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      CloseHandle(h);
      bytes->clear();
      return ReadResult::kFailed;
    }
    if (bytes->size() + n > kMaxFileBytes) {
      CloseHandle(h);
      bytes->clear();
      return ReadResult::kTooLarge;
    }
    if (n == 0) break;
    bytes->append(buf, n);
  }
  CloseHandle(h);
  return ReadResult::kOk;
}

FileStore::ReadResult FileStore::Inspect(const std::string& path, FileInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    return IsMissing(GetLastError()) ? ReadResult::kMissing : ReadResult::kFailed;
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return ReadResult::kFailed;
  info->attributes = data.dwFileAttributes;
  // The attribute counts even for an administrator, whom the access list
  // alone would let write.
  info->writable = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0 && OpensForWriting(path);
  return ReadResult::kOk;
}

int FileStore::CreateAside(const std::string& path, bool /*keepPrivate*/, std::string* aside) {
  // A new file takes its permissions from its folder, as the old file did
  // unless someone set its own by hand: nothing to keep private meanwhile.
  for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
    *aside = AsideName(path);
    const HANDLE h = CreateFileW(WidePath(*aside).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      break;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd >= 0) return fd;
    CloseHandle(h);
    DeleteFileW(WidePath(*aside).c_str());
    break;
  }
  aside->clear();
  return -1;
}

bool FileStore::Write(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!WriteFile(Raw(fd), data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

bool FileStore::KeepOwnerAndMode(int fd, const FileInfo& info) {
  // The attributes; the times stay the new file's (zero: unchanged). Owner
  // and access list are the folder's for the new file: giving it another
  // owner takes privileges the monitor does not have.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = info.attributes & kKeptAttributes;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(Raw(fd), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool FileStore::Flush(int fd) { return FlushFileBuffers(Raw(fd)) != 0; }

bool FileStore::Close(int fd) { return _close(fd) == 0; }
