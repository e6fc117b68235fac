// JournalIo - what the journal needs of the operating system: the local
// time of a line, the user's state directory, a private directory and
// append-only files (the journal names stations and results), and standard
// error, including whether it is read by the system journal.
//
// Nothing here ever waits on a reader: the journal file is a regular file
// or is not opened at all (a FIFO or device planted under its name is
// refused without waiting), and standard error takes only what it can take
// at once.
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
// $XDG_STATE_HOME when it is set but not absolute, and so left out by
// UserStateDirectory (the XDG rules ignore a relative one); empty otherwise
// and always on Windows.
std::string IgnoredStateHome();

// Creates the directory and any missing parents, private to the user
// (0700; on Windows only the user in the access list).
// True when it exists as a directory afterwards (created or not).
bool CreatePrivateDirectory(const std::string& dir);

// OpenAppend's result when something other than a regular file is under
// the name (a link, FIFO, device, socket or folder).
inline constexpr int kNotRegularFile = -2;
// Opens (creating it private: 0600, or the directory's access list) a
// regular file for appending, never through a link and never waiting for a
// reader; kNotRegularFile, or -1 on any other failure.
int OpenAppend(const std::string& path);
// Makes an empty file at path that only the user may open (0600; on
// Windows the private access list), never through a link, before another
// program (SQLite) opens it; a file already there is left as it is. False
// with the system's words in *why when none can be made.
bool CreatePrivateFile(const std::string& path, std::string* why);
// The last `max` bytes (or fewer) of the regular file at path, read without
// following a link or waiting; empty when there is no such file.
std::string ReadTail(const std::string& path, std::size_t max);
// Current size of an open file; -1 on failure.
long long FileSize(int handle);
// Writes all of data; false when the system took less (disk full, ...).
bool WriteAll(int handle, const char* data, std::size_t size);
// True when `path` still names the open file (not removed, moved or
// replaced meanwhile).
bool IsFileAt(int handle, const std::string& path);
// Cuts an open file to `size` bytes.
bool Truncate(int handle, unsigned long long size);
void Close(int handle);

enum class FileResult { kOk, kMissing, kFailed };
// Renames, replacing `to`; kMissing when `from` does not exist.
FileResult Rename(const std::string& from, const std::string& to);
// Removes a file; kMissing when there was none.
FileResult Remove(const std::string& path);

// Writes to standard error what it takes at once, never waiting: a pipe
// nobody reads, a terminal held with Ctrl+S or a stream socket that is full
// takes nothing, and one whose reader has gone takes nothing from then on
// (no SIGPIPE). Returns the bytes written. On Windows a write to a pipe or
// console may still wait (it has no such call for them).
std::size_t WriteToStderr(const char* data, std::size_t size);
// True when standard error is a stream of the system journal (systemd's
// JOURNAL_STREAM names its device and inode): the journal stamps each line
// itself and reads a "<priority>" prefix. Never on Windows.
bool StderrIsSystemJournal();

// The process number, for the start line.
long ProcessId();

}  // namespace journal_io

#endif  // BRENNA_PLATFORM_JOURNALIO_H
