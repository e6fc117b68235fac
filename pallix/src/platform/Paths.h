// Paths - the two facts about paths that differ between systems: the
// separator libPallix puts into the paths it builds, and where a user's
// application data lives by default.
#ifndef PALLIX_PLATFORM_PATHS_H
#define PALLIX_PLATFORM_PATHS_H

#include <string>

namespace pallix::sys {

// '/' on POSIX, '\' on Windows.
char PathSeparator();
// True for either separator the system accepts ('/' only on POSIX).
bool IsPathSeparator(char c);

// Renames from to `to` in one step, replacing a file of that name; and
// removes a file. Paths are GBK bytes: Windows goes through the ANSI calls
// (std::filesystem's wide conversion would not give the same bytes back).
bool MoveFileOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

// The folder under which the embedded default site lives (it gets a
// brennacenter folder of its own there). POSIX: XDG_DATA_HOME when
// absolute, else $HOME/.local/share, without HOME the user database's home
// directory. Windows: %LOCALAPPDATA%. Empty when nothing is known.
std::string UserDataHome();

}  // namespace pallix::sys

#endif  // PALLIX_PLATFORM_PATHS_H
