// FileOps - the monitor core's file-system calls: paths, the spool's
// regular files, renames and removals, listings and directories.
//
// Paths are GBK bytes end to end: on Windows they reach the "W" calls
// through code page 936 (WidePath.h), never through std::filesystem's wide
// conversion, which does not give GBK bytes back (and whose rename refuses
// an existing target). Shared
// code does every spool and INI path operation through here.
//
// A spool file is only ever a regular file: never a link followed, never
// a FIFO or device planted under a spool name opened or waited on, and
// never written when it has another name (a hard link) too.
// Failures are told apart by what the caller can do about them (FileFault).
//
// FileOps.cpp is the POSIX implementation (O_NOFOLLOW | O_NONBLOCK, fstat,
// fsync, a directory fsync after a rename); FileOpsWin.cpp the Windows one
// (CreateFileW with FILE_FLAG_OPEN_REPARSE_POINT, a check that the handle
// is a plain disk file, FlushFileBuffers; a rename is written through to
// the disk before MoveFileOver returns, and Windows has no directory to
// sync). The seams above (FileStore, JournalIo, PrivateFileIo) rename,
// remove and make directories through here.
#ifndef BRENNA_PLATFORM_FILEOPS_H
#define BRENNA_PLATFORM_FILEOPS_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class FileFault {
  kNone,
  kMissing,     // no such file, or its directory is gone
  kNotRegular,  // a directory, link, FIFO, device or socket under that name
  kNoRoom,      // the storage cannot take data now: full, over quota, read-only or failing
  // The process (or the system) has no descriptor (handle) to spare now; a
  // moment later it may.
  kNoDescriptors,
  // Opened for writing: a regular file that has another name too (a hard
  // link); what is written would reach it under that name as well.
  kHardLinked,
  kOther,  // anything else (permissions, a name too long, ...)
};

// --- Paths -----------------------------------------------------------------

// dir, the system's separator ('/' or '\'), name.
std::string JoinPath(const std::string& dir, const std::string& name);
// Whether `name` (GBK, one part of a path) can name a file here. POSIX:
// any name. Windows: GBK text without the characters Windows keeps for
// itself (< > : " | ? *): ':' would name a stream of another file.
bool CanNameFile(const std::string& name);
// The directory part of path: "." when it has none, the root for a file in
// the root.
std::string ParentDirectory(const std::string& path);

// --- Names in a directory --------------------------------------------------

// Whether anything exists at path; a link counts as itself, whatever it
// points to.
bool PathExists(const std::string& path);

struct RegularFileInfo {
  long long size = 0;
  // Since the file was last written; negative when its time lies ahead
  // (the clock was set back).
  std::chrono::seconds age{0};
  // When it was last written: nanoseconds since 1970 (on Windows in steps
  // of 100 ns), in the file system's own resolution.
  std::int64_t modifiedNs = 0;
};
// Looks at path without following a link: kNone and *info for a regular
// file, kNotRegular for anything else under that name, kMissing when
// nothing is there.
FileFault InspectFile(const std::string& path, RegularFileInfo* info);

// The file a name leads to, links followed (a reader given a link to the
// archive): kNone for a regular file, with its path free of links in
// *resolved; kNotRegular for a folder, FIFO or device there.
FileFault ResolveFile(const std::string& path, std::string* resolved);

// Which file a name stands for, whatever its name: its file system (POSIX
// st_dev; on Windows the volume's serial number) and its number there
// (st_ino; the file index), and how many names it has (hard links).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t links = 0;
  bool SameFile(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};
// Looks at path without following a link: kNone and *id for a regular
// file, kNotRegular for anything else under that name, kMissing when
// nothing is there (on Windows also a file deleted while still open).
FileFault IdentifyFile(const std::string& path, FileIdentity* id);

// The names in dir as GBK bytes: with everything, all entries but "." and
// "..", else only the regular files (no directory, link, FIFO or device).
// False when dir cannot be listed.
bool ListFileNames(const std::string& dir, std::vector<std::string>* names,
                   bool everything = false);

// When MoveFileOver returns on Windows: kOnDisk once the rename is on the
// disk (MOVEFILE_WRITE_THROUGH), for a replacement that must outlast a
// power loss; kCached as soon as the system has it (a journal's rotation).
// POSIX renames as it always does; SyncDirectory makes a rename last there.
enum class MoveWait { kOnDisk, kCached };
// Renames from to `to` in one step, replacing a file of that name (a link
// there is replaced itself, never its target).
FileFault MoveFileOver(const std::string& from, const std::string& to,
                       MoveWait wait = MoveWait::kOnDisk);
// Gives the file at `from` the name `to` only when nothing has that name
// yet, never replacing what another program put there meanwhile (POSIX: a
// second name, then the first removed; Windows: a move that replaces
// nothing, on the disk when it returns). *taken tells whether something
// had the name; `from` is left as it was on any failure.
FileFault MoveFileToNewName(const std::string& from, const std::string& to, bool* taken);
// Removes a file, or a link itself (never what it points to); never a
// directory.
FileFault RemoveFile(const std::string& path);
// Removes a regular file; false for anything else under that name (left as
// it is) and when nothing is there.
bool RemoveRegularFile(const std::string& path);
// Who may use the directories MakeDirectories makes (one already there is
// left as it is).
enum class NewDirectory {
  // POSIX 0777 less the umask, as the site configuration does at start-up;
  // Windows what its parent passes on.
  kShared,
  // The user's alone: POSIX 0700; Windows the protected access list that
  // lets in only the user (WinSecurity.h), never made without it.
  kPrivate,
};
// Creates dir and its missing parents. kNone when it is a directory
// afterwards.
FileFault MakeDirectories(const std::string& dir, NewDirectory access = NewDirectory::kShared);
// What is at a directory's path, following links.
enum class DirectoryKind {
  kDirectory,
  kMissing,       // nothing there (or a parent is missing or no folder)
  kNotDirectory,  // a file (or FIFO, device) in its place
  kBrokenLink,    // a link whose target is missing, or a chain of links that never ends
  kUnreachable,   // it cannot be looked at (no permission on a parent)
};
DirectoryKind InspectDirectory(const std::string& dir);
// The room on the file system that holds `path` (a folder or a file
// there): what this user may still write, and its whole size, in bytes.
// False when it cannot be asked.
bool FreeSpace(const std::string& path, std::uint64_t* available, std::uint64_t* total);
// Makes the entries of dir (a rename into it, a removal) last through a
// power loss. POSIX: fsync on the directory. Windows: nothing to do, as
// Windows cannot sync a directory: MoveFileOver has waited for its rename.
FileFault SyncDirectory(const std::string& dir);

// --- A regular file --------------------------------------------------------

class RegularFile {
 public:
  enum class Mode {
    kRead,     // an existing file, for reading
    kUpdate,   // reading and writing; created empty when missing, never emptied
    kReplace,  // writing; created, or emptied when it exists
  };

  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens path; on kNotRegular and kHardLinked nothing was opened and
  // nothing was created or emptied.
  // created (optional) tells whether this call made the file.
  FileFault Open(const std::string& path, Mode mode, bool* created = nullptr);
  bool IsOpen() const { return m_handle != kClosed; }

  FileFault Size(std::int64_t* size) const;
  // Reads up to n bytes at offset; *got is what was read (short at the end).
  FileFault ReadAt(std::int64_t offset, void* buf, std::size_t n, std::size_t* got);
  // Writes all n bytes at offset, or reports why not.
  FileFault WriteAt(std::int64_t offset, const void* data, std::size_t n);
  FileFault Truncate(std::int64_t size);
  // Returns once what was written is on the storage.
  FileFault Sync();
  // Closes; a write error the system reports only now is reported here.
  FileFault Close();

 private:
  // A descriptor on POSIX, a HANDLE on Windows.
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t m_handle = kClosed;
};

#endif  // BRENNA_PLATFORM_FILEOPS_H
