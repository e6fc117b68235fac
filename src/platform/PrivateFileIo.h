// PrivateFileIo - small files that hold a secret (brenna-web's access
// token, its pairing codes and sessions): each its owner's alone, never
// reached through a link, never waited on, no larger than the caller
// allows; and the random bytes such secrets are made of.
//
// "Its owner's alone": POSIX, mode 0600 in a 0700 folder (a file whose
// group or others have any permission bit is refused). Windows, an access
// list that lets in only the user (SYSTEM and the Administrators may be
// there too, as on every file of a profile): the files are made with a
// protected list that lets in only the user, and a file whose list lets
// anyone else read or change it is refused.
//
// PrivateFileIo.cpp is the POSIX half, PrivateFileIoWin.cpp the Windows
// one; PrivateFileReplace.cpp the steps of a replacement and of a first
// making, the same on both, renaming, removing and making folders through
// FileOps.h. Reasons are
// short texts for a message ("is no regular file").
#ifndef BRENNA_PLATFORM_PRIVATEFILEIO_H
#define BRENNA_PLATFORM_PRIVATEFILEIO_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace private_file_io {

enum class Read { kOk, kMissing, kRefused };

// Reads the file at `path` (at most maxBytes); kRefused with the reason in
// *why when it is no regular file, others may read it, it is larger or it
// cannot be read: "cannot be read (...)", "is no regular file", "may be
// read by others (mode 0644)", "is larger than N bytes".
Read ReadPrivate(const std::string& path, std::size_t maxBytes, std::string* text,
                 std::string* why);

// Makes the folder of the file at `path` when it is not there, its
// owner's alone. False with "cannot make DIR (...)".
bool MakePrivateFolderOf(const std::string& path, std::string* error);

// Replaces the file at `path` with `text` in one step (written aside, the
// owner's alone, flushed, moved over it), making its folder when it is not
// there. False with "cannot write FILE (...)".
bool ReplacePrivate(const std::string& path, const std::string& text, std::string* error);

// Writes `text` to a new file at `part` (one left from an earlier try is
// removed first), the owner's alone, flushed. False with the system's words
// in *why, nothing left behind; *made tells whether the file was made. Each
// system's own step of ReplacePrivate and MakePrivate.
bool WriteAside(const std::string& part, const std::string& text, std::string* why, bool* made);

enum class Made { kMade, kExists, kCannotMake, kCannotWrite };
// Makes the file at `path` holding `text`, its owner's alone, only when
// there is none: written aside and put in place only if no other program
// put one there meanwhile (kExists). *why holds the system's words.
Made MakePrivate(const std::string& path, const std::string& text, std::string* why);

enum class Presence { kThere, kMissing, kUnknown };
// Whether anything is at `path` (a link counts as itself).
Presence LookAt(const std::string& path, std::string* why);

// A file opened for a change and locked against every other program doing
// the same (each waits for the other), for as long as the object lives.
class LockedFile {
 public:
  enum class Open { kOk, kMissing, kFailed, kNotRegular, kNotPrivate, kTooLarge };

  LockedFile() = default;
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // Opens (with `create`, makes it the owner's alone when it is missing),
  // locks and reads the file; *why holds the system's words for kFailed.
  Open OpenAndRead(const std::string& path, bool create, std::size_t maxBytes, std::string* text,
                   std::string* why);
  // The whole file anew, in place (the lock is on this very file), flushed.
  bool Rewrite(const std::string& text, std::string* why);

 private:
  std::intptr_t handle_ = -1;  // a descriptor on POSIX, a HANDLE on Windows
};

// Fills `out` with `n` bytes from the system's random source; false when
// there is none to be had.
bool RandomBytes(unsigned char* out, std::size_t n);

// The system's words for the last failure (errno, GetLastError).
std::string LastError();

// Whether what the program prints can be read by no one else: a terminal,
// a pipe, or a file only its owner may read.
bool StandardOutputPrivate();

// What to do to a file that others may read, if its secret has not gone
// astray: "make it 0600 (chmod 600)".
const char* MakePrivateHint();

}  // namespace private_file_io

#endif  // BRENNA_PLATFORM_PRIVATEFILEIO_H
