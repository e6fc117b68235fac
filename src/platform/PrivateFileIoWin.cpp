// Windows implementation of PrivateFileIo.h: files made with the protected
// access list that lets in only the user (the journal's and the archive's),
// opened without following a reparse point (a link, a junction), read only
// when they are plain disk files whose list lets no one else in; a change
// is locked with LockFileEx, which waits as flock does; random bytes from
// BCryptGenRandom.
#include <windows.h>
// After windows.h:
#include <bcrypt.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileOps.h"
#include "platform/JournalIo.h"
#include "platform/PrivateFileIo.h"
#include "platform/WinSecurity.h"

namespace private_file_io {

namespace {

using win_security::ErrorText;
using win_security::PrivateAttributes;

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// A plain file on a disk: no folder, no reparse point, no device or pipe.
bool PlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

bool WriteAll(HANDLE file, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t left = text.size() - done;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// Reads up to `size` bytes from the file's start.
std::size_t ReadFrom(HANDLE file, std::string* text, std::size_t size) {
  text->resize(size);
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return 0;
  std::size_t have = 0;
  while (have < size) {
    DWORD got = 0;
    if (!ReadFile(file, &(*text)[have], static_cast<DWORD>(size - have), &got, nullptr) || got == 0)
      break;
    have += got;
  }
  text->resize(have);
  return have;
}

// The file written aside at `part`, the user's alone, flushed; false with
// the reason in *why (nothing left behind).
bool WriteAside(const std::string& part, const std::string& text, std::string* why, bool* made) {
  DeleteFileA(part.c_str());
  PrivateAttributes attributes;
  *made = false;
  if (!attributes.Known()) {
    *why = "the running user cannot be told";
    return false;
  }
  HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *why = ErrorText(GetLastError());
    return false;
  }
  *made = true;
  const bool ok = WriteAll(file, text) && FlushFileBuffers(file);
  if (!ok) *why = ErrorText(GetLastError());
  CloseHandle(file);
  if (!ok) DeleteFileA(part.c_str());
  return ok;
}

}  // namespace

Read ReadPrivate(const std::string& path, std::size_t maxBytes, std::string* text,
                 std::string* why) {
  text->clear();
  // Backup semantics: a folder under the name opens too, and is refused
  // below as no regular file.
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | READ_CONTROL,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (Missing(error)) return Read::kMissing;
    *why = "cannot be read (" + ErrorText(error) + ")";
    return Read::kRefused;
  }
  Read result = Read::kOk;
  LARGE_INTEGER size{};
  std::string notPrivate;
  if (!PlainFile(file)) {
    *why = "is no regular file";
    result = Read::kRefused;
  } else if (!(notPrivate = win_security::WhyNotPrivate(file)).empty()) {
    *why = "may be read by others (" + notPrivate + ")";
    result = Read::kRefused;
  } else if (!GetFileSizeEx(file, &size)) {
    *why = "cannot be read (" + ErrorText(GetLastError()) + ")";
    result = Read::kRefused;
  } else if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes ||
             ReadFrom(file, text, maxBytes + 1) > maxBytes) {
    *why = "is larger than " + std::to_string(maxBytes) + " bytes";
    result = Read::kRefused;
  }
  CloseHandle(file);
  if (result != Read::kOk) text->clear();
  return result;
}

bool MakePrivateFolderOf(const std::string& path, std::string* error) {
  const std::string dir = ParentDirectory(path);
  if (journal_io::CreatePrivateDirectory(dir)) return true;
  *error = "cannot make " + dir + " (" + ErrorText(GetLastError()) + ")";
  return false;
}

bool ReplacePrivate(const std::string& path, const std::string& text, std::string* error) {
  if (!MakePrivateFolderOf(path, error)) return false;
  const std::string part = path + ".part";
  std::string why;
  bool made = false;
  if (!WriteAside(part, text, &why, &made)) {
    *error = "cannot write " + (made ? path : part) + " (" + why + ")";
    return false;
  }
  // Moving over a link replaces the link itself, never its target.
  if (!MoveFileExA(part.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = "cannot write " + path + " (" + ErrorText(GetLastError()) + ")";
    DeleteFileA(part.c_str());
    return false;
  }
  return true;
}

Made MakePrivate(const std::string& path, const std::string& text, std::string* why) {
  const std::string part = path + ".part";
  bool made = false;
  if (!WriteAside(part, text, why, &made)) return made ? Made::kCannotWrite : Made::kCannotMake;
  // Without MOVEFILE_REPLACE_EXISTING the move never replaces a file
  // another program put there meanwhile.
  if (!MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileA(part.c_str());
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return Made::kExists;
    *why = ErrorText(error);
    return Made::kCannotWrite;
  }
  return Made::kMade;
}

Presence LookAt(const std::string& path, std::string* why) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Presence::kThere;
  const DWORD error = GetLastError();
  if (Missing(error)) return Presence::kMissing;
  *why = ErrorText(error);
  return Presence::kUnknown;
}

LockedFile::~LockedFile() {
  if (handle_ != -1) CloseHandle(Native(handle_));  // lets the lock go
}

LockedFile::Open LockedFile::OpenAndRead(const std::string& path, bool create, std::size_t maxBytes,
                                         std::string* text, std::string* why) {
  PrivateAttributes attributes;
  if (create && !attributes.Known()) {
    *why = "the running user cannot be told";
    return Open::kFailed;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, attributes.get(),
                            create ? OPEN_ALWAYS : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (!create && Missing(error)) return Open::kMissing;
    *why = ErrorText(error);
    return Open::kFailed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  OVERLAPPED whole{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    *why = ErrorText(GetLastError());
    return Open::kFailed;
  }
  if (!PlainFile(file)) return Open::kNotRegular;
  if (!win_security::WhyNotPrivate(file).empty()) return Open::kNotPrivate;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    *why = ErrorText(GetLastError());
    return Open::kFailed;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return Open::kTooLarge;
  ReadFrom(file, text, static_cast<std::size_t>(size.QuadPart));
  return Open::kOk;
}

bool LockedFile::Rewrite(const std::string& text, std::string* why) {
  HANDLE file = Native(handle_);
  LARGE_INTEGER start{};
  if (handle_ != -1 && SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
      WriteAll(file, text) && FlushFileBuffers(file))
    return true;
  *why = ErrorText(GetLastError());
  return false;
}

bool RandomBytes(unsigned char* out, std::size_t n) {
  while (n > 0) {
    const ULONG chunk = n > 0x10000000u ? 0x10000000u : static_cast<ULONG>(n);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      errno = EIO;
      return false;
    }
    out += chunk;
    n -= chunk;
  }
  return true;
}

std::string LastError() { return ErrorText(GetLastError()); }

bool StandardOutputPrivate() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(out) != FILE_TYPE_DISK) return true;  // a console or a pipe
  // The handle may lack READ_CONTROL: the file is looked at through a
  // handle of its own.
  char path[MAX_PATH * 2];
  const DWORD n = GetFinalPathNameByHandleA(out, path, sizeof path, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= sizeof path) return false;
  HANDLE file =
      CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool alone = win_security::WhyNotPrivate(file).empty();
  CloseHandle(file);
  return alone;
}

const char* MakePrivateHint() { return "let only yourself read it (its Properties, Security)"; }

}  // namespace private_file_io
