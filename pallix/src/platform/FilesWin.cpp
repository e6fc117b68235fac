// Windows implementation of Files.h through the "W" calls, GBK names
// converted through code page 936 (WideTextWin.h), so that they arrive and
// leave as the same bytes whatever the system's own code page is.
#include <windows.h>

#include <vector>

#include "platform/FileErrorsWin.h"
#include "platform/Files.h"
#include "platform/WideTextWin.h"

namespace pallix::sys {

namespace {

FileStatus LastStatus() { return StatusOfWin32Error(GetLastError()); }

// Closes a handle on every path out.
class Handle {
 public:
  explicit Handle(HANDLE h) : m_handle(h) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return m_handle; }
  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
  bool Close() {
    HANDLE h = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE m_handle;
};

// Opened like a POSIX file (others may rename or remove it meanwhile); a
// link is opened itself, never its target, as O_NOFOLLOW does, unless
// followLinks.
HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition,
                bool followLinks = false) {
  return CreateFileW(WidePath(path).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                     nullptr);
}

constexpr DWORD kChunk = 64 * 1024;

bool IsLeadByte(char c) { return IsGbkLead(c); }

// The parts of path between separators, each GBK character kept whole.
std::vector<std::string> SplitParts(const std::string& path, std::string::size_type from) {
  std::vector<std::string> parts;
  std::string part;
  for (std::string::size_type i = from; i < path.size(); ++i) {
    if (IsLeadByte(path[i]) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
    } else if (IsPathSeparator(path[i])) {
      parts.push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  parts.push_back(part);
  return parts;
}

// Length of the root of path: "C:\" 3, "C:" 2, "\\server\share\" up to
// the share's separator, "\" 1, none 0. *absolute tells whether the root
// makes the path absolute.
std::string::size_type RootLength(const std::string& path, bool* absolute) {
  *absolute = false;
  if (path.size() >= 2 && path[1] == ':' && !IsLeadByte(path[0])) {
    *absolute = path.size() >= 3 && IsPathSeparator(path[2]);
    return *absolute ? 3 : 2;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // A server and its share are the root.
    const std::vector<std::string> parts = SplitParts(path, 2);
    std::string::size_type length = 2;
    for (std::size_t k = 0; k < parts.size() && k < 2; ++k) length += parts[k].size() + 1;
    *absolute = parts.size() >= 2 && !parts[0].empty() && !parts[1].empty();
    return length < path.size() ? length : path.size();
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

// Position of the last separator of path, or npos.
std::string::size_type LastSeparator(const std::string& path) {
  std::string::size_type last = std::string::npos;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    if (IsLeadByte(path[i]) && i + 1 < path.size()) {
      ++i;
    } else if (IsPathSeparator(path[i])) {
      last = i;
    }
  }
  return last;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

char PathSeparator() { return '\\'; }

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool EndsWithSeparator(const std::string& path) {
  bool separator = false;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    separator = false;
    if (IsLeadByte(path[i]) && i + 1 < path.size()) {
      ++i;  // a GBK character: its second byte is no separator
    } else {
      separator = IsPathSeparator(path[i]);
    }
  }
  return separator;
}

bool IsAbsolutePath(const std::string& path) {
  bool absolute = false;
  RootLength(path, &absolute);
  return absolute;
}

std::string OnDriveOf(const std::string& dir, const std::string& path) {
  const bool rootedWithoutDrive =
      !path.empty() && IsPathSeparator(path[0]) && !(path.size() >= 2 && IsPathSeparator(path[1]));
  const bool dirHasDrive = dir.size() >= 2 && dir[1] == ':' && !IsLeadByte(dir[0]);
  return rootedWithoutDrive && dirHasDrive ? dir.substr(0, 2) + path : path;
}

std::string NormalPath(const std::string& path) {
  bool absolute = false;
  const std::string::size_type rootLength = RootLength(path, &absolute);
  std::string root = path.substr(0, rootLength);
  for (char& c : root)
    if (c == '/') c = '\\';
  const bool rooted = !root.empty() && IsPathSeparator(root.back());
  std::vector<std::string> kept;
  for (const std::string& part : SplitParts(path, rootLength)) {
    if (part.empty() || part == ".") continue;
    if (part == ".." && !kept.empty() && kept.back() != "..") {
      kept.pop_back();
    } else if (part == ".." && rooted) {
      // Nothing lies above a root.
    } else {
      kept.push_back(part);
    }
  }
  std::string normal = root;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (k > 0) normal += '\\';
    normal += kept[k];
  }
  return normal.empty() ? "." : normal;
}

std::string DirectoryOf(const std::string& path) {
  bool absolute = false;
  const std::string::size_type rootLength = RootLength(path, &absolute);
  const std::string::size_type slash = LastSeparator(path);
  if (slash == std::string::npos || slash < rootLength) return path.substr(0, rootLength);
  if (slash + 1 == rootLength) return path.substr(0, rootLength);  // a name in the root
  return path.substr(0, slash);
}

std::string CurrentDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  std::string gbk;
  return n > 0 && n < MAX_PATH && GbkPath(path, static_cast<int>(n), &gbk) ? gbk : std::string();
}

static FileStatus ReadWhole(const std::string& path, std::size_t maxLength,
                            std::vector<unsigned char>* out, bool followLinks) {
  out->clear();
  Handle file(OpenFile(path, GENERIC_READ, OPEN_EXISTING, followLinks));
  if (!file.IsOpen()) {
    const DWORD error = GetLastError();
    // A directory cannot be opened as a file at all.
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return FileStatus::kNotRegular;
    return StatusOfWin32Error(error);
  }
  if (!IsPlainFile(file.get())) return FileStatus::kNotRegular;
  // Read to the end rather than trust the size: the file may still grow.
  std::vector<unsigned char> buf(kChunk);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf.data(), kChunk, &n, nullptr)) {
      const FileStatus status = LastStatus();
      out->clear();
      return status;
    }
    if (n == 0) break;
    if (out->size() + n > maxLength) {
      out->clear();
      return FileStatus::kTooLarge;
    }
    out->insert(out->end(), buf.data(), buf.data() + n);
  }
  return FileStatus::kOk;
}

FileStatus ReadRegularFile(const std::string& path, std::size_t maxLength,
                           std::vector<unsigned char>* out) {
  return ReadWhole(path, maxLength, out, false);
}

FileStatus ReadSettingsFile(const std::string& path, std::size_t maxLength,
                            std::vector<unsigned char>* out) {
  return ReadWhole(path, maxLength, out, true);
}

FileStatus WriteNewFile(const std::string& path, const unsigned char* data, std::size_t length) {
  Handle file(OpenFile(path, GENERIC_WRITE, CREATE_NEW));
  if (!file.IsOpen()) return LastStatus();
  // A device answers to any name: nothing was made, nothing to remove.
  if (!IsPlainFile(file.get())) return FileStatus::kNotRegular;
  FileStatus status = FileStatus::kOk;
  for (std::size_t done = 0; done < length;) {
    const std::size_t left = length - done;
    const DWORD chunk = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    DWORD n = 0;
    if (!WriteFile(file.get(), data + done, chunk, &n, nullptr)) {
      status = LastStatus();
      break;
    }
    if (n == 0) {
      status = FileStatus::kNoRoom;
      break;
    }
    done += n;
  }
  if (!file.Close() && status == FileStatus::kOk) status = LastStatus();
  if (status != FileStatus::kOk) DeleteFileW(WidePath(path).c_str());
  return status;
}

// std::rename refuses an existing target here.
FileStatus MoveFileOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    return FileStatus::kOk;
  return LastStatus();
}

// DeleteFile removes a link itself and refuses a directory.
FileStatus RemoveFile(const std::string& path) {
  return DeleteFileW(WidePath(path).c_str()) ? FileStatus::kOk : LastStatus();
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  if (IsDirectory(dir)) return true;
  const std::string parent = DirectoryOf(NormalPath(dir));
  // A missing drive or share is never made.
  if (!parent.empty() && parent.size() < dir.size() && !MakeDirectories(parent)) return false;
  if (CreateDirectoryW(WidePath(dir).c_str(), nullptr)) return true;
  // Another process may have made it meanwhile.
  return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(dir);
}

}  // namespace pallix::sys
