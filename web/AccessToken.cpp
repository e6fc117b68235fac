#include "web/AccessToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "web/PrivateFile.h"

namespace web {

namespace {

std::string Why() { return std::strerror(errno); }

bool ReadToken(const std::string& path, std::string* token, std::string* error) {
  std::string text, why;
  const PrivateRead read = ReadPrivateFile(path, 256, &text, &why);
  if (read == PrivateRead::kMissing)
    why = std::string("cannot be read (") + std::strerror(ENOENT) + ")";
  if (read != PrivateRead::kOk) {
    *error = "the token file " + path + " " + why;
    if (why.rfind("may be read by others", 0) == 0)
      *error +=
          ": make it 0600 (chmod 600) if the token has not gone astray, or delete it for a new one";
    return false;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!IsHex(text, kTokenLength)) {
    *error = "the token file " + path + " holds no token: delete it for a new one";
    return false;
  }
  *token = text;
  return true;
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
  if (!MakePrivateFolder(path, error)) {
    *error += " for the token file";
    return false;
  }
  const std::string text = RandomHex(kTokenLength / 2);
  if (text.empty()) {
    *error = "no random bytes for a token (" + Why() + ")";
    return false;
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
