// ArchiveFormat - what makes a file the monitor's archive, shared by its
// writer and its readers: the file's name and place, the SQLite
// application_id that marks it as ours, the schema version it carries in
// user_version, and the schema itself (docs/archive.md has it in full).
#ifndef BRENNA_ARCHIVE_ARCHIVEFORMAT_H
#define BRENNA_ARCHIVE_ARCHIVEFORMAT_H

#include <cstdint>
#include <string>

namespace archive {

namespace sql {
class Db;
}

inline constexpr char kArchiveFileName[] = "archive.sqlite";

// PRAGMA application_id of every archive: "BCAR".
inline constexpr std::int32_t kApplicationId = 0x42434152;

// PRAGMA user_version: the schema this build writes and reads. A newer
// monitor upgrades an older file in place (UpgradeSteps); a file of a later
// version than this is left alone by writer and readers.
inline constexpr int kSchemaVersion = 2;

// archive.sqlite in ArchiveFolder(): $XDG_STATE_HOME/brennacenter (default
// ~/.local/state/brennacenter), beside the journal; on Windows the site's
// base directory (%LOCALAPPDATA%\brennacenter unless Pallix.ini names
// another). Empty when no home directory is known.
std::string DefaultArchivePath();

// The default as brenna-history's usage names it.
#ifdef _WIN32
#define BRENNA_DEFAULT_ARCHIVE_TEXT "%LOCALAPPDATA%\\BrennaCenter\\archive.sqlite"
#else
#define BRENNA_DEFAULT_ARCHIVE_TEXT "$XDG_STATE_HOME/brennacenter/archive.sqlite"
#endif

// The SQL that takes a file at schema version `from` (0: empty) to
// from + 1, in order; run in one transaction with the new user_version.
// Null past kSchemaVersion.
const char* UpgradeStep(int from);

// Reads the open file's application_id and user_version: SQLITE_ROW when
// they were read, else SQLite's result code (a file that is no database,
// or a damaged one, shows here: it is the first touch of the file).
int ReadFileMarks(sql::Db& db, std::int64_t* applicationId, std::int64_t* version);

}  // namespace archive

#endif  // BRENNA_ARCHIVE_ARCHIVEFORMAT_H
