// Files - how libPallix reads and writes the files of a spool directory:
// regular files only, never through a link, and never waiting on a FIFO or
// a device planted under a file's name. A port to another system replaces
// FilesPosix.cpp and keeps this interface.
#ifndef PALLIX_PLATFORM_FILES_H
#define PALLIX_PLATFORM_FILES_H

#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

namespace pallix::sys {

enum class FileStatus {
  kOk,
  kMissing,     // no such file or directory
  kNotRegular,  // a directory, link, FIFO, device or socket under that name
  kTooLarge,    // more bytes than the reader takes
  kNoRoom,      // the storage cannot take data now: full, over quota, read-only or failing
  kFailed,      // anything else
};

// Reads a whole regular file of at most maxLength bytes into out (emptied
// on any failure).
FileStatus ReadRegularFile(const std::string& path, std::size_t maxLength,
                           std::vector<unsigned char>* out);

// Creates path, which must not exist yet, and writes the data; on failure
// nothing is left under that name.
FileStatus WriteNewFile(const std::string& path, const unsigned char* data, std::size_t length);

// The same classification for a failed std::filesystem call.
FileStatus StatusOf(const std::error_code& ec);

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_FILES_H
