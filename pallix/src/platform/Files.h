// Files - libPallix's paths and files: the separator it puts into the paths
// it builds, and how it reads and writes the files of a spool directory:
// regular files only, never through a link, and never waiting on a FIFO or
// a device planted under a file's name.
//
// Paths are GBK bytes: Windows goes through the ANSI calls (std::filesystem's
// wide conversion would not give the same bytes back, and its rename
// refuses an existing target). Files.cpp is the POSIX implementation,
// FilesWin.cpp the Windows one.
#ifndef PALLIX_PLATFORM_FILES_H
#define PALLIX_PLATFORM_FILES_H

#include <cstddef>
#include <string>
#include <vector>

#include "platform/FileErrors.h"

namespace pallix::sys {

// '/' on POSIX, '\' on Windows.
char PathSeparator();
// True for either separator the system accepts ('/' only on POSIX).
bool IsPathSeparator(char c);
// Whether path ends in a separator. On Windows the second byte of a GBK
// character (which may be 0x5C, a '\') is never taken for one, here and in
// the path functions below.
bool EndsWithSeparator(const std::string& path);

// Whether path is absolute: POSIX a leading '/'; Windows a drive and a
// separator ("C:\") or a server's share ("\\server\share").
bool IsAbsolutePath(const std::string& path);
// On Windows a path rooted without a drive ("\data", "/srv/data") is taken
// on the drive of `dir` ("D:\data" for a dir on D:); every other path, and
// every path on POSIX, comes back as it is.
std::string OnDriveOf(const std::string& dir, const std::string& path);
// path lexically normal with the system's separators: empty and "." parts
// gone, ".." taking the part before it; no trailing separator but the
// root's ("/", "C:\"). "." for a relative path that comes to nothing.
std::string NormalPath(const std::string& path);
// The directory part of path ("" when it has none, the root for a name in
// the root).
std::string DirectoryOf(const std::string& path);
// The working directory; empty when unknown.
std::string CurrentDirectory();

// Reads a whole regular file of at most maxLength bytes into out (emptied
// on any failure).
FileStatus ReadRegularFile(const std::string& path, std::size_t maxLength,
                           std::vector<unsigned char>* out);
// The same for a settings file (Pallix.ini, a translation file), which a
// site may keep as a link to a shared copy: links are followed, but only a
// regular file is read, and nothing is waited on.
FileStatus ReadSettingsFile(const std::string& path, std::size_t maxLength,
                            std::vector<unsigned char>* out);
// Why a settings file was not read, as a report says it.
inline const char* Why(FileStatus status) {
  switch (status) {
    case FileStatus::kOk:
      return "it was read";
    case FileStatus::kMissing:
      return "there is no such file";
    case FileStatus::kNotRegular:
      return "it is not a regular file (a FIFO, device, socket or folder)";
    case FileStatus::kTooLarge:
      return "it is larger than 1 MiB, more than any settings file";
    default:
      return "it cannot be read (no read permission, or a read error)";
  }
}

// Creates path, which must not exist yet, and writes the data; on failure
// nothing is left under that name.
FileStatus WriteNewFile(const std::string& path, const unsigned char* data, std::size_t length);

// Renames from to `to` in one step, replacing a file of that name.
FileStatus MoveFileOver(const std::string& from, const std::string& to);
// Removes a file, or a link itself (never what it points to); never a
// directory.
FileStatus RemoveFile(const std::string& path);
// Creates dir and its missing parents; true when it is a directory
// afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_FILES_H
