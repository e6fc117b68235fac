// FileErrorsWin - FileErrors.h for Windows: a Win32 error code (GetLastError)
// as a FileStatus, and what every Windows file layer of the tree counts as
// a plain file. Inline, shared by libPallix's and the monitor's Windows
// files, exported by neither.
#ifndef PALLIX_PLATFORM_FILEERRORSWIN_H
#define PALLIX_PLATFORM_FILEERRORSWIN_H

#include <windows.h>

#include "platform/FileErrors.h"

namespace pallix::sys {

// Not in every SDK's winerror.h (mingw-w64 lacks them).
inline constexpr DWORD kErrorDiskQuotaExceeded = 1295;
inline constexpr DWORD kErrorDeviceHardwareError = 483;

// The name, or a folder on its path, is not there on a volume that
// answered. Narrower than kMissing below, which counts an absent drive or
// network share too: a caller that would take a missing file for one to
// make anew (a settings file, a secret, a journal rotated away) must not
// take a share that is away for a while for a file that is gone.
inline bool IsNotFoundOnVolume(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

inline FileStatus StatusOfWin32Error(DWORD error) {
  if (IsNotFoundOnVolume(error)) return FileStatus::kMissing;
  switch (error) {
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
    case ERROR_TOO_MANY_OPEN_FILES:
      return FileStatus::kNoDescriptors;
    default:
      return FileStatus::kFailed;
  }
}

// What is not a plain file: a directory, a reparse point (a symbolic link,
// a junction, a mount point) or a device.
inline constexpr DWORD kNotPlain =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// An open handle to a plain disk file: not a device (CON, NUL, COM1 ...
// answer to any folder's file names), a link or a directory. *info (when
// given) holds what the system told of it.
inline bool IsPlainFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
  BY_HANDLE_FILE_INFORMATION own;
  BY_HANDLE_FILE_INFORMATION* at = info != nullptr ? info : &own;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, at) &&
         (at->dwFileAttributes & kNotPlain) == 0;
}

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_FILEERRORSWIN_H
