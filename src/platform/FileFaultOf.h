// FileFaultOf - a failed system call as the monitor's FileFault, told by the
// one classification the tree has (libPallix's platform/FileErrors.h, the
// errno or Win32 error of the call). For the platform's own files.
#ifndef BRENNA_PLATFORM_FILEFAULTOF_H
#define BRENNA_PLATFORM_FILEFAULTOF_H

#include "platform/FileErrors.h"
#include "platform/FileOps.h"

inline FileFault FaultOf(pallix::sys::FileStatus status) {
  using pallix::sys::FileStatus;
  switch (status) {
    case FileStatus::kOk:
      return FileFault::kNone;
    case FileStatus::kMissing:
      return FileFault::kMissing;
    case FileStatus::kNotRegular:
      return FileFault::kNotRegular;
    case FileStatus::kNoRoom:
      return FileFault::kNoRoom;
    case FileStatus::kNoDescriptors:
      return FileFault::kNoDescriptors;
    default:
      return FileFault::kOther;
  }
}

#endif  // BRENNA_PLATFORM_FILEFAULTOF_H
