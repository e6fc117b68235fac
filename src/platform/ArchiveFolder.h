// ArchiveFolder - where the monitor keeps its archive of shown results
// (docs/archive.md, "Where it is"), for the monitor and for the programs
// that read it.
//
// POSIX (ArchiveFolder.cpp): the user's state directory, beside the
// journal: $XDG_STATE_HOME/brennacenter, ~/.local/state/brennacenter.
// Windows (ArchiveFolderWin.cpp): the site's base directory, beside
// BrennaCenter.ini and spool\, as libPallix names it: [Site] BaseDir of the
// Pallix.ini beside the library (which lies beside the program), else
// %LOCALAPPDATA%\brennacenter.
#ifndef BRENNA_PLATFORM_ARCHIVEFOLDER_H
#define BRENNA_PLATFORM_ARCHIVEFOLDER_H

#include <string>

// The folder; empty when none is known (no home directory).
std::string ArchiveFolder();

// Where the programs beside the monitor (brenna-web) keep their settings:
// POSIX, $XDG_CONFIG_HOME/brennacenter (~/.config/brennacenter); Windows,
// the site's base directory, beside BrennaCenter.ini (ArchiveFolder). Empty
// when none is known.
std::string SettingsFolder();

#endif  // BRENNA_PLATFORM_ARCHIVEFOLDER_H
