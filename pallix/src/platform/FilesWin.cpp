// Windows implementation of Files.h through the ANSI calls, so that GBK
// names arrive and leave as the same bytes.
#include <windows.h>

#include "platform/Files.h"

namespace pallix::sys {

namespace {

// Not in every SDK's winerror.h (mingw-w64 lacks them).
constexpr DWORD kErrorDiskQuotaExceeded = 1295;
constexpr DWORD kErrorDeviceHardwareError = 483;

FileStatus StatusOfError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return FileStatus::kMissing;
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:  // a reparse point nobody can follow
      return FileStatus::kNotRegular;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kErrorDiskQuotaExceeded:
    case ERROR_WRITE_PROTECT:
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case kErrorDeviceHardwareError:
      return FileStatus::kNoRoom;
    default:
      return FileStatus::kFailed;
  }
}

FileStatus LastStatus() { return StatusOfError(GetLastError()); }

// What is not a plain file: a directory, a reparse point (a symbolic link,
// a junction, a mount point) or a device.
constexpr DWORD kNotPlain =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// Closes a handle on every path out.
class Handle {
 public:
  explicit Handle(HANDLE h) : m_handle(h) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return m_handle; }
  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
  bool Close() {
    HANDLE h = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE m_handle;
};

// Opened like a POSIX file (others may rename or remove it meanwhile); a
// link is opened itself, never its target, as O_NOFOLLOW does.
HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// A plain disk file: not a device (CON, NUL, COM1 ... answer to any
// folder's file names), a link or a directory.
bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & kNotPlain) == 0;
}

constexpr DWORD kChunk = 64 * 1024;

}  // namespace

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool EndsWithSeparator(const std::string& path) {
  bool separator = false;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    separator = false;
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;  // a GBK character: its second byte is no separator
    } else {
      separator = IsPathSeparator(path[i]);
    }
  }
  return separator;
}

FileStatus ReadRegularFile(const std::string& path, std::size_t maxLength,
                           std::vector<unsigned char>* out) {
  out->clear();
  Handle file(OpenFile(path, GENERIC_READ, OPEN_EXISTING));
  if (!file.IsOpen()) {
    const DWORD error = GetLastError();
    // A directory cannot be opened as a file at all.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return FileStatus::kNotRegular;
    return StatusOfError(error);
  }
  if (!IsPlainFile(file.get())) return FileStatus::kNotRegular;
  // Read to the end rather than trust the size: the file may still grow.
  std::vector<unsigned char> buf(kChunk);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf.data(), kChunk, &n, nullptr)) {
      const FileStatus status = LastStatus();
      out->clear();
      return status;
    }
    if (n == 0) break;
    if (out->size() + n > maxLength) {
      out->clear();
      return FileStatus::kTooLarge;
    }
    out->insert(out->end(), buf.data(), buf.data() + n);
  }
  return FileStatus::kOk;
}

FileStatus WriteNewFile(const std::string& path, const unsigned char* data, std::size_t length) {
  Handle file(OpenFile(path, GENERIC_WRITE, CREATE_NEW));
  if (!file.IsOpen()) return LastStatus();
  // A device answers to any name: nothing was made, nothing to remove.
  if (!IsPlainFile(file.get())) return FileStatus::kNotRegular;
  FileStatus status = FileStatus::kOk;
  for (std::size_t done = 0; done < length;) {
    const std::size_t left = length - done;
    const DWORD chunk = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    DWORD n = 0;
    if (!WriteFile(file.get(), data + done, chunk, &n, nullptr)) {
      status = LastStatus();
      break;
    }
    if (n == 0) {
      status = FileStatus::kNoRoom;
      break;
    }
    done += n;
  }
  if (!file.Close() && status == FileStatus::kOk) status = LastStatus();
  if (status != FileStatus::kOk) DeleteFileA(path.c_str());
  return status;
}

// std::rename refuses an existing target here.
FileStatus MoveFileOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return FileStatus::kOk;
  return LastStatus();
}

// DeleteFile removes a link itself and refuses a directory.
FileStatus RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) ? FileStatus::kOk : LastStatus();
}

}  // namespace pallix::sys
