#include "web/AccessToken.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace web {

namespace {

std::string Why() { return std::strerror(errno); }

bool IsToken(const std::string& text) {
  if (text.size() != kTokenLength) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool RandomBytes(unsigned char* out, std::size_t n) {
  std::size_t have = 0;
  while (have < n) {
    const ssize_t got = getrandom(out + have, n - have, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    have += static_cast<std::size_t>(got);
  }
  return true;
}

bool ReadToken(const std::string& path, std::string* token, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read the token file " + path + " (" + Why() + ")";
    return false;
  }
  struct stat st {};
  std::string text;
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    *error = "the token file " + path + " is no regular file";
    ok = false;
  } else if (ok && (st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    *error = "the token file " + path + " may be read by others (mode " + mode +
             "): make it 0600 (chmod 600) if the token has not gone astray, or delete it for a "
             "new one";
    ok = false;
  } else if (ok) {
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      *error = "cannot read the token file " + path + " (" + Why() + ")";
      ok = false;
    } else {
      text.assign(buf, static_cast<std::size_t>(n));
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (!IsToken(text)) {
        *error = "the token file " + path + " holds no token: delete it for a new one";
        ok = false;
      }
    }
  }
  ::close(fd);
  if (ok) *token = text;
  return ok;
}

}  // namespace

std::string DefaultTokenPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/brennacenter/web-token";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return std::string(home) + "/.local/state/brennacenter/web-token";
}

bool LoadOrMakeToken(const std::string& path, std::string* token, bool* made, std::string* error) {
  *made = false;
  if (path.empty()) {
    *error = "no place for the token file (no home directory)";
    return false;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return ReadToken(path, token, error);
  if (errno != ENOENT) {
    *error = "cannot look at the token file " + path + " (" + Why() + ")";
    return false;
  }
  // The folder is the archive's: the owner's alone.
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      *error = "cannot make " + dir.string() + " for the token file (" + ec.message() + ")";
      return false;
    }
    ::chmod(dir.c_str(), 0700);
  }
  unsigned char bytes[kTokenLength / 2];
  if (!RandomBytes(bytes, sizeof bytes)) {
    *error = "no random bytes for a token (" + Why() + ")";
    return false;
  }
  std::string text;
  static const char hex[] = "0123456789abcdef";
  for (unsigned char b : bytes) {
    text += hex[b >> 4];
    text += hex[b & 15];
  }
  const std::string part = path + ".part";
  ::unlink(part.c_str());
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot make the token file " + path + " (" + Why() + ")";
    return false;
  }
  const std::string line = text + "\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                       ::fsync(fd) == 0;
  ::close(fd);
  // Linked into place only if no other brenna-web made one meanwhile.
  if (!written || ::link(part.c_str(), path.c_str()) != 0) {
    const int why = errno;
    ::unlink(part.c_str());
    if (written && why == EEXIST) return ReadToken(path, token, error);
    errno = why;
    *error = "cannot write the token file " + path + " (" + Why() + ")";
    return false;
  }
  ::unlink(part.c_str());
  *token = text;
  *made = true;
  return true;
}

bool SameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t at = 0;
  while (at < header.size()) {
    std::size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::size_t start = at;
    while (start < end && header[start] == ' ') ++start;
    const std::size_t eq = header.find('=', start);
    if (eq != std::string::npos && eq < end && header.compare(start, eq - start, name) == 0)
      return header.substr(eq + 1, end - eq - 1);
    at = end + 1;
  }
  return std::string();
}

}  // namespace web
