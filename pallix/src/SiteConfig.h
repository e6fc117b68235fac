// SiteConfig - where this installation keeps its files.
//
// The values come from a small settings file beside the library
// (Pallix.ini) and, for whatever it does not say, from an embedded default
// under the user's XDG data directory that serves a fresh install. GetPallix
// writes them into the 188,910-byte SiteConfig record and makes sure the
// directories exist. docs/site-config.md describes the file.
#ifndef PALLIX_SITECONFIG_H
#define PALLIX_SITECONFIG_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Pallix.h"

namespace pallix::site {

// Name of the settings file, looked for in the library's own directory.
inline constexpr const char* kSettingsFileName = "Pallix.ini";
// Folder of the embedded default under the XDG data directory (on
// Windows under %LOCALAPPDATA%, named as Windows programs name theirs).
#if defined(_WIN32)
inline constexpr const char* kDefaultFolder = "BrennaCenter";
#else
inline constexpr const char* kDefaultFolder = "brennacenter";
#endif
// Spool folder under the base directory when none is named.
inline constexpr const char* kSpoolFolder = "spool";
// Longest directory path the record holds (its fields are 260 bytes).
inline constexpr std::size_t kMaxPath = PALLIX_SITE_DIR_FIELD_SIZE - 1;
// The settings file and the translation file are read only up to this
// size: anything larger is no such file (and might be a device's endless
// stream under its name).
inline constexpr std::size_t kMaxSettingsFileBytes = 1u << 20;

struct Settings {
  std::string settingsFile;     // the file that was read; empty when none
  std::string baseDir;          // absolute, without a trailing separator
  std::string spoolDir;         // absolute, without a trailing separator
  std::string translationFile;  // absolute; empty when none is named
  // [ParamNames]: parameter name (GBK) and its decimal ID text, file order.
  std::vector<std::pair<std::string, std::string>> paramNames;
  // What could not be used, one line each (for tests and diagnostics).
  std::vector<std::string> problems;
};

// The embedded default: <XDG data dir>/brennacenter and its spool/ folder.
// XDG_DATA_HOME counts only when absolute; otherwise $HOME/.local/share,
// and without HOME the user database's home directory.
Settings DefaultSettings();
// The defaults, overridden by what the settings file says. A missing file
// is not a problem; unusable lines are skipped and listed in `problems`.
// A file that is there but is no regular file, is larger than
// kMaxSettingsFileBytes or cannot be read is not read at all (reported,
// and listed in `problems`): the defaults stand.
Settings ReadSettings(const std::string& settingsFile);
// <library directory>/Pallix.ini.
std::string SettingsFilePath();

// Writes the two directories into the record (all other bytes zero).
// 1, or -2 when a path is too long for its field (that field stays empty).
int FillRecord(const Settings& settings, SiteConfig* cfg);
// Creates the base and spool directories when missing; false when either
// does not exist afterwards.
bool CreateDirectories(const Settings& settings);

// The settings in force: read from SettingsFilePath() on first use and
// again by every GetPallix. Safe to call from any thread.
std::shared_ptr<const Settings> Current();
// Makes `settings` the ones in force (and loads its translation). False
// when the translation file it names could not be loaded.
bool Install(std::shared_ptr<const Settings> settings);

// GetPallix: re-reads the settings file, creates missing directories,
// fills the record. 1 done; 0 filled but the settings file had unusable
// lines or a directory could not be created; -1 no record; -2 a path too
// long for the record.
int GetPallix(SiteConfig* cfg);
// GetDefaultPallix: the embedded default only; touches no file. 1, -1, -2.
int GetDefaultPallix(SiteConfig* cfg);

}  // namespace pallix::site

#endif  // PALLIX_SITECONFIG_H
