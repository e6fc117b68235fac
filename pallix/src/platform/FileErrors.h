// FileErrors - what a failed file call means to its caller, told from the
// system's own error code, once for the whole tree: libPallix's files
// (Files.h) and the monitor's (src/platform/FileOps.h) both classify their
// failures here. POSIX: an errno value; Windows: FileErrorsWin.h.
//
// Header-only and inline, so that the monitor's platform layer shares it
// without libPallix exporting a symbol for it.
#ifndef PALLIX_PLATFORM_FILEERRORS_H
#define PALLIX_PLATFORM_FILEERRORS_H

#if !defined(_WIN32)
#include <errno.h>
#endif

namespace pallix::sys {

enum class FileStatus {
  kOk,
  kMissing,     // no such file or directory
  kNotRegular,  // a directory, link, FIFO, device or socket under that name
  kTooLarge,    // more bytes than the reader takes
  kNoRoom,      // the storage cannot take data now: full, over quota, read-only or failing
  // The process (or the system) has no file descriptor to spare now; the
  // same call may work a moment later.
  kNoDescriptors,
  kFailed,  // anything else (permissions, a name too long, ...)
};

#if !defined(_WIN32)
inline FileStatus StatusOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileStatus::kMissing;
    case ELOOP:   // O_NOFOLLOW met a link
    case EISDIR:  // a directory opened for writing
    case ENXIO:   // a FIFO without a reader, a device without its hardware
      return FileStatus::kNotRegular;
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
      return FileStatus::kNoRoom;
    case EMFILE:
    case ENFILE:
      return FileStatus::kNoDescriptors;
    default:
      return FileStatus::kFailed;
  }
}
#endif

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_FILEERRORS_H
