// Windows implementation of FileOps.h through the "W" calls, GBK names
// converted through code page 936 both ways (WidePath.h), so that they
// arrive and leave as the same bytes whatever the system's own code page
// is. A separator is looked for character by character: the second byte of
// a GBK character may be 0x5C, a '\'.
#include <windows.h>

#include "platform/FileErrorsWin.h"
#include "platform/FileFaultOf.h"
#include "platform/FileOps.h"
#include "platform/Gbk.h"
#include "platform/GbkWide.h"
#include "platform/WidePath.h"
#include "platform/WinSecurity.h"

namespace {

using pallix::sys::kNotPlain;

FileFault FaultOfError(DWORD error) { return FaultOf(pallix::sys::StatusOfWin32Error(error)); }

FileFault LastFault() { return FaultOfError(GetLastError()); }

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Position of the last separator of path, or npos; a trail byte of a GBK
// character is never taken for one.
std::string::size_type LastSeparator(const std::string& path) {
  std::string::size_type last = std::string::npos;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    if (GbkCharLength(path, i) == 2) {
      ++i;
    } else if (IsSeparator(path[i])) {
      last = i;
    }
  }
  return last;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes one directory; the system's error code, or ERROR_SUCCESS.
DWORD CreateDirectoryAs(const std::string& dir, NewDirectory access) {
  if (access == NewDirectory::kShared)
    return CreateDirectoryW(WidePath(dir).c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
  win_security::PrivateAttributes attributes;
  // Never a folder others may read.
  if (!attributes.Known()) return ERROR_INVALID_SECURITY_DESCR;
  return CreateDirectoryW(WidePath(dir).c_str(), attributes.get()) ? ERROR_SUCCESS : GetLastError();
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

// The most one ReadFile or WriteFile call moves.
constexpr std::size_t kMaxTransfer = 1u << 30;

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

bool CanNameFile(const std::string& name) {
  std::wstring wide;
  if (!GbkToWideExact(name, &wide)) return false;
  return wide.find_first_of(L"<>:\"|?*") == std::wstring::npos;
}

std::string ParentDirectory(const std::string& path) {
  const std::string::size_type slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  // "\file" and "C:\file" lie in a root, which keeps its separator.
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

// GetFileAttributes answers for a link itself, never for its target.
bool PathExists(const std::string& path) {
  return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileFault InspectFile(const std::string& path, RegularFileInfo* info) {
  *info = RegularFileInfo();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    return LastFault();
  if ((data.dwFileAttributes & kNotPlain) != 0) return FileFault::kNotRegular;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime);
  };
  // FILETIME counts 100 ns.
  info->age = std::chrono::seconds((ticks(now) - ticks(data.ftLastWriteTime)) / 10000000LL);
  // FILETIME counts from 1601; 1970 is 11,644,473,600 s later.
  info->modifiedNs = (ticks(data.ftLastWriteTime) - 116444736000000000LL) * 100;
  info->size = static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                      data.nFileSizeLow);
  return FileFault::kNone;
}

FileFault ResolveFile(const std::string& path, std::string* resolved) {
  // Windows' own opening follows a link, SQLite's too: the name serves as
  // it is.
  *resolved = path;
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastFault();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileFault::kNotRegular;
  return FileFault::kNone;
}

FileFault IdentifyFile(const std::string& path, FileIdentity* id) {
  *id = FileIdentity();
  // Attributes only: never refused for sharing, and a link is opened as
  // itself.
  HANDLE file =
      CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFault();
  BY_HANDLE_FILE_INFORMATION info;
  FILE_STANDARD_INFO standard;
  const bool known =
      GetFileInformationByHandle(file, &info) &&
      GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard);
  const FileFault fault = known ? FileFault::kNone : LastFault();
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!known) return fault;
  if (!disk || (info.dwFileAttributes & kNotPlain) != 0) return FileFault::kNotRegular;
  // A file deleted while open keeps its name until its last handle goes:
  // it is gone all the same.
  if (standard.DeletePending) return FileFault::kMissing;
  id->volume = info.dwVolumeSerialNumber;
  id->file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id->links = info.nNumberOfLinks;
  return FileFault::kNone;
}

bool ListFileNames(const std::string& dir, std::vector<std::string>* names, bool everything) {
  names->clear();
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(WidePath(JoinPath(dir, "*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name;
    // A name GBK cannot hold was never given by this program: left alone.
    if (!WideToGbkExact(entry.cFileName, &name)) continue;
    if (name == "." || name == "..") continue;
    if (!everything && (entry.dwFileAttributes & kNotPlain) != 0) continue;
    names->push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return true;
}

// std::rename refuses an existing target here. Written through: the rename
// is on the disk when this returns, which POSIX gets from a directory sync.
FileFault MoveFileOver(const std::string& from, const std::string& to, MoveWait wait) {
  const DWORD flags =
      MOVEFILE_REPLACE_EXISTING | (wait == MoveWait::kOnDisk ? MOVEFILE_WRITE_THROUGH : 0);
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), flags)) return FileFault::kNone;
  return LastFault();
}

// Without MOVEFILE_REPLACE_EXISTING the move never replaces a file.
FileFault MoveFileToNewName(const std::string& from, const std::string& to, bool* taken) {
  *taken = false;
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return FileFault::kNone;
  const DWORD error = GetLastError();
  *taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
  return FaultOfError(error);
}

// DeleteFile removes a link itself and refuses a directory.
FileFault RemoveFile(const std::string& path) {
  return DeleteFileW(WidePath(path).c_str()) ? FileFault::kNone : LastFault();
}

bool RemoveRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  // Only files are ours to remove; whatever else sits under the name stays.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNotPlain) != 0) return false;
  return DeleteFileW(WidePath(path).c_str()) != 0;
}

DirectoryKind InspectDirectory(const std::string& dir) {
  const DWORD attributes = GetFileAttributesW(WidePath(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? DirectoryKind::kMissing
               : DirectoryKind::kUnreachable;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? DirectoryKind::kDirectory
                                                        : DirectoryKind::kNotDirectory;
  }
  // A link: what it leads to.
  HANDLE target =
      CreateFileW(WidePath(dir).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return DirectoryKind::kBrokenLink;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(target, &info) != 0;
  CloseHandle(target);
  if (!known) return DirectoryKind::kUnreachable;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? DirectoryKind::kDirectory
                                                                 : DirectoryKind::kNotDirectory;
}

bool FreeSpace(const std::string& path, std::uint64_t* available, std::uint64_t* total) {
  ULARGE_INTEGER free{}, size{};
  if (!GetDiskFreeSpaceExW(WidePath(path).c_str(), &free, &size, nullptr)) return false;
  *available = free.QuadPart;
  *total = size.QuadPart;
  return true;
}

FileFault MakeDirectories(const std::string& dir, NewDirectory access) {
  if (dir.empty()) return FileFault::kMissing;
  const DWORD attributes = GetFileAttributesW(WidePath(dir).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileFault::kNone;
    SetLastError(ERROR_ALREADY_EXISTS);  // the system's words for a caller that says why
    return FileFault::kOther;
  }
  std::string trimmed = dir;
  while (trimmed.size() > 1 && IsSeparator(trimmed.back()) &&
         LastSeparator(trimmed) == trimmed.size() - 1)
    trimmed.pop_back();
  const std::string::size_type slash = LastSeparator(trimmed);
  // A drive ("C:") or a server's share is never made here.
  if (slash != std::string::npos && slash > 0 && !IsSeparator(trimmed[slash - 1]) &&
      trimmed[slash - 1] != ':') {
    const FileFault parent = MakeDirectories(trimmed.substr(0, slash), access);
    if (parent != FileFault::kNone) return parent;
  }
  const DWORD error = CreateDirectoryAs(trimmed, access);
  if (error == ERROR_SUCCESS) return FileFault::kNone;
  // Another process may have made it meanwhile.
  if (error == ERROR_ALREADY_EXISTS)
    return IsDirectory(trimmed) ? FileFault::kNone : FileFault::kOther;
  return FaultOfError(error);
}

// Windows cannot open a directory to flush it; MoveFileOver has already
// waited until its rename was on the disk.
FileFault SyncDirectory(const std::string& dir) {
  return IsDirectory(dir) ? FileFault::kNone : FileFault::kMissing;
}

RegularFile::~RegularFile() {
  if (IsOpen()) CloseHandle(Native(m_handle));
}

FileFault RegularFile::Open(const std::string& path, Mode mode, bool* created) {
  if (created != nullptr) *created = false;
  if (IsOpen()) Close();
  // Shared like a POSIX file: others may read, write, rename or remove it
  // while it is open. The reparse-point flag opens a link itself, never
  // its target, as O_NOFOLLOW does.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool made = false;
  switch (mode) {
    case Mode::kRead:
      file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags,
                         nullptr);
      break;
    case Mode::kUpdate:
      file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                         OPEN_EXISTING, flags, nullptr);
      if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                           CREATE_NEW, flags, nullptr);
        made = file != INVALID_HANDLE_VALUE;
      }
      break;
    case Mode::kReplace:
      // Not CREATE_ALWAYS: only a file found to be plain is emptied.
      file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, flags,
                         nullptr);
      break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A directory cannot be opened as a file at all.
    if (error == ERROR_ACCESS_DENIED && IsDirectory(path)) return FileFault::kNotRegular;
    return FaultOfError(error);
  }
  // A device (CON, NUL, COM1 ... answer to any folder's file names) is not
  // a disk file; a link or a directory shows in the attributes.
  BY_HANDLE_FILE_INFORMATION info;
  if (!pallix::sys::IsPlainFile(file, &info)) {
    CloseHandle(file);
    return FileFault::kNotRegular;
  }
  // A second name of the file (a hard link put there) would carry what is
  // written to wherever its other name lies.
  if (mode != Mode::kRead && info.nNumberOfLinks > 1) {
    CloseHandle(file);
    return FileFault::kHardLinked;
  }
  if (mode == Mode::kReplace && !SetEndOfFile(file)) {
    const FileFault fault = LastFault();
    CloseHandle(file);
    return fault;
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
  if (created != nullptr) *created = made;
  return FileFault::kNone;
}

FileFault RegularFile::Size(std::int64_t* size) const {
  LARGE_INTEGER bytes;
  if (!IsOpen()) return FileFault::kOther;
  if (!GetFileSizeEx(Native(m_handle), &bytes)) return LastFault();
  *size = bytes.QuadPart;
  return FileFault::kNone;
}

FileFault RegularFile::ReadAt(std::int64_t offset, void* buf, std::size_t n, std::size_t* got) {
  *got = 0;
  if (!IsOpen()) return FileFault::kOther;
  char* p = static_cast<char*>(buf);
  while (*got < n) {
    const std::size_t left = n - *got;
    const DWORD chunk = static_cast<DWORD>(left < kMaxTransfer ? left : kMaxTransfer);
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(*got));
    DWORD read = 0;
    if (!ReadFile(Native(m_handle), p + *got, chunk, &read, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return LastFault();
    }
    if (read == 0) break;
    *got += read;
  }
  return FileFault::kNone;
}

FileFault RegularFile::WriteAt(std::int64_t offset, const void* data, std::size_t n) {
  if (!IsOpen()) return FileFault::kOther;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const std::size_t left = n - done;
    const DWORD chunk = static_cast<DWORD>(left < kMaxTransfer ? left : kMaxTransfer);
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(done));
    DWORD written = 0;
    if (!WriteFile(Native(m_handle), p + done, chunk, &written, &at)) return LastFault();
    if (written == 0) return FileFault::kNoRoom;
    done += written;
  }
  return FileFault::kNone;
}

FileFault RegularFile::Truncate(std::int64_t size) {
  if (!IsOpen()) return FileFault::kOther;
  LARGE_INTEGER at;
  at.QuadPart = size;
  if (!SetFilePointerEx(Native(m_handle), at, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(Native(m_handle)))
    return LastFault();
  return FileFault::kNone;
}

FileFault RegularFile::Sync() {
  if (!IsOpen()) return FileFault::kOther;
  return FlushFileBuffers(Native(m_handle)) ? FileFault::kNone : LastFault();
}

FileFault RegularFile::Close() {
  if (!IsOpen()) return FileFault::kNone;
  HANDLE file = Native(m_handle);
  m_handle = kClosed;
  return CloseHandle(file) ? FileFault::kNone : LastFault();
}
