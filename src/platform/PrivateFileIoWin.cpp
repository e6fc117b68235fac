// Windows half of PrivateFileIo.h, through the "W" calls with GBK paths
// converted through code page 936 (WidePath.h): files made with the protected
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

#include "platform/FileErrorsWin.h"
#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"
#include "platform/WidePath.h"
#include "platform/WinSecurity.h"

namespace private_file_io {

namespace {

using win_security::ErrorText;
using win_security::PrivateAttributes;

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Only what the volume says is not there: a secret on a share that is away
// is not taken for missing and made anew over the one there.
bool Missing(DWORD error) { return pallix::sys::IsNotFoundOnVolume(error); }

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

}  // namespace

bool WriteAside(const std::string& part, const std::string& text, std::string* why, bool* made) {
  RemoveFile(part);
  PrivateAttributes attributes;
  *made = false;
  if (!attributes.Known()) {
    *why = "the running user cannot be told";
    return false;
  }
  HANDLE file = CreateFileW(WidePath(part).c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *why = ErrorText(GetLastError());
    return false;
  }
  *made = true;
  const bool ok = WriteAll(file, text) && FlushFileBuffers(file);
  if (!ok) *why = ErrorText(GetLastError());
  CloseHandle(file);
  if (!ok) RemoveFile(part);
  return ok;
}

Read ReadPrivate(const std::string& path, std::size_t maxBytes, std::string* text,
                 std::string* why) {
  text->clear();
  // Backup semantics: a folder under the name opens too, and is refused
  // below as no regular file.
  HANDLE file =
      CreateFileW(WidePath(path).c_str(), GENERIC_READ | READ_CONTROL,
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

Presence LookAt(const std::string& path, std::string* why) {
  if (GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    return Presence::kThere;
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
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
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
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetFinalPathNameByHandleW(out, path, MAX_PATH * 2, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= MAX_PATH * 2) return false;
  HANDLE file =
      CreateFileW(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool alone = win_security::WhyNotPrivate(file).empty();
  CloseHandle(file);
  return alone;
}

const char* MakePrivateHint() { return "let only yourself read it (its Properties, Security)"; }

}  // namespace private_file_io
