// JournalIo - what the journal needs of the operating system: the local
// time of a line, the user's state directory, a private directory and
// append-only files (the journal names stations and results), and standard
// error, including whether it is read by the system journal.
//
// JournalIo.cpp is the POSIX implementation (0700 / 0600), JournalIoWin.cpp
// the Windows one (a protected access list that lets only the user in,
// inherited by the files; append-only handles shared for deletion, so the
// open file can be rotated).
#ifndef BRENNA_PLATFORM_JOURNALIO_H
#define BRENNA_PLATFORM_JOURNALIO_H

#include <chrono>
#include <cstddef>
#include <string>

namespace journal_io {

// `when` in local time as "YYYY-MM-DD hh:mm:ss.mmm" (23 characters).
std::string LocalTimestamp(std::chrono::system_clock::time_point when);

// $XDG_STATE_HOME when it is set and absolute, else <home>/.local/state
// ($HOME, else the user database); on Windows %LOCALAPPDATA%. Empty when
// none is known.
std::string UserStateDirectory();

// Creates the directory and any missing parents, private to the user
// (0700; on Windows only the user in the access list).
// True when it exists as a directory afterwards (created or not).
bool CreatePrivateDirectory(const std::string& dir);

// Opens (creating it private: 0600, or the directory's access list) a
// file for appending, never through a link; -1 on failure.
int OpenAppend(const std::string& path);
// Current size of an open file; -1 on failure.
long long FileSize(int handle);
// Writes all of data; false when the system took less (disk full, ...).
bool WriteAll(int handle, const char* data, std::size_t size);
// True when `path` still names the open file (not removed, moved or
// replaced meanwhile).
bool IsFileAt(int handle, const std::string& path);
// Cuts an open file to nothing.
bool Truncate(int handle);
void Close(int handle);

enum class FileResult { kOk, kMissing, kFailed };
// Renames, replacing `to`; kMissing when `from` does not exist.
FileResult Rename(const std::string& from, const std::string& to);
// Removes a file; kMissing when there was none.
FileResult Remove(const std::string& path);

// Writes to standard error, all of it unless it fails.
void WriteToStderr(const char* data, std::size_t size);
// True when standard error is a stream of the system journal (systemd's
// JOURNAL_STREAM names its device and inode): the journal stamps each line
// itself and reads a "<priority>" prefix. Never on Windows.
bool StderrIsSystemJournal();

// The process number, for the start line.
long ProcessId();

}  // namespace journal_io

#endif  // BRENNA_PLATFORM_JOURNALIO_H
