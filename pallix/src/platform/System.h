// System - the few operating-system facts libPallix needs besides sockets
// and files: where the library file itself lies, the user's home and data
// directories, a file's modification time in local time, and the local
// time now.
#ifndef PALLIX_PLATFORM_SYSTEM_H
#define PALLIX_PLATFORM_SYSTEM_H

#include <cstddef>
#include <string>

namespace pallix::sys {

// Full path of the file that holds this code (libPallix.so when loaded as
// the library; the executable when linked statically). Empty when unknown.
std::string LibraryFile();
// Directory of that file. Empty when unknown.
std::string LibraryDirectory();

// The value of an environment variable, empty when unset.
std::string Environment(const char* name);

// The home directory of the user running the process from the user
// database, for when HOME is unset. Empty when unknown.
std::string UserHomeFromDatabase();

// The folder under which the embedded default site lives (it gets a
// brennacenter folder of its own there). POSIX: XDG_DATA_HOME when
// absolute, else $HOME/.local/share, without HOME the user database's home
// directory. Windows: %LOCALAPPDATA%. Empty when nothing is known.
std::string UserDataHome();

// Local modification time of a regular file: date as yyyymmdd and time as
// hhmmss. False when the path is not an existing regular file.
bool FileModifiedLocal(const char* path, int* yyyymmdd, int* hhmmss);

// The local time now as "YYYY-MM-DD hh:mm:ss.mmm" (23 characters) into out.
void LocalTimestamp(char* out, std::size_t size);

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_SYSTEM_H
