#include "web/Pairing.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "web/AccessToken.h"
#include "web/PrivateFile.h"

namespace web {

namespace {

constexpr char kHead[] = "brenna-web pairing ";
constexpr std::size_t kMaxFileBytes = 64 * 1024;

struct Code {
  std::string code;
  std::int64_t untilMs = 0;
};

std::string Why() { return std::strerror(errno); }

// The codes of the file that are for `token` and still good at nowUtcMs.
std::vector<Code> GoodCodes(const std::string& text, const std::string& token,
                            std::int64_t nowUtcMs) {
  std::vector<Code> codes;
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kHead + TokenMark(token)) return codes;
  while (std::getline(lines, line)) {
    Code c;
    long long until = 0;
    char code[kPairingCodeLength + 2] = {};
    if (std::sscanf(line.c_str(), "%33s %lld", code, &until) != 2) continue;
    c.code = code;
    c.untilMs = until;
    if (IsHex(c.code, kPairingCodeLength) && c.untilMs > nowUtcMs) codes.push_back(c);
  }
  return codes;
}

std::string Text(const std::vector<Code>& codes, const std::string& token) {
  std::string text = kHead + TokenMark(token) + "\n";
  for (const Code& c : codes) text += c.code + " " + std::to_string(c.untilMs) + "\n";
  return text;
}

// The pairing file opened and locked for a change; its text in *text.
class LockedFile {
 public:
  explicit LockedFile(const std::string& path) : path_(path) {}
  ~LockedFile() {
    if (fd_ >= 0) ::close(fd_);  // lets the lock go
  }
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // False with *error empty when there is no file and `create` is false.
  bool Open(bool create, std::string* text, std::string* error) {
    if (create && !MakePrivateFolder(path_, error)) return false;
    fd_ = ::open(path_.c_str(),
                 O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd_ < 0 && errno == ENOENT && !create) return false;
    struct stat st {};
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0 || ::fstat(fd_, &st) != 0)
      return Fail("cannot be used (" + Why() + ")", error);
    if (!S_ISREG(st.st_mode)) return Fail("is no regular file", error);
    if ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid())
      return Fail("may be read by others: delete it (pairing links given so far stop working)",
                  error);
    if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
      return Fail("is too large: delete it", error);
    text->assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t have = 0;
    while (have < text->size()) {
      const ssize_t n = ::pread(fd_, &(*text)[have], text->size() - have, static_cast<off_t>(have));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    text->resize(have);
    return true;
  }

  // The whole file anew, in place (the lock is on this very file).
  bool Write(const std::string& text, std::string* error) {
    bool ok = ::ftruncate(fd_, 0) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t n =
          ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd_) == 0) return true;
    return Fail("cannot be written (" + Why() + ")", error);
  }

 private:
  bool Fail(const std::string& why, std::string* error) {
    *error = "the pairing file " + path_ + " " + why;
    return false;
  }

  std::string path_;
  int fd_ = -1;
};

}  // namespace

std::string PairingPathBeside(const std::string& tokenPath) {
  return tokenPath.substr(0, tokenPath.rfind('/') + 1) + "web-pairing";
}

bool AddPairingCode(const std::string& path, const std::string& token, std::int64_t nowUtcMs,
                    std::string* code, std::string* error) {
  LockedFile file(path);
  std::string text;
  if (!file.Open(true, &text, error)) return false;
  std::vector<Code> codes = GoodCodes(text, token, nowUtcMs);
  Code c;
  c.code = RandomHex(kPairingCodeLength / 2);
  if (c.code.empty()) {
    *error = "no random bytes for a pairing code (" + Why() + ")";
    return false;
  }
  c.untilMs = nowUtcMs + kPairingLifetimeMs;
  codes.push_back(c);
  if (codes.size() > static_cast<std::size_t>(kMaxPairingCodes)) codes.erase(codes.begin());
  if (!file.Write(Text(codes, token), error)) return false;
  *code = c.code;
  return true;
}

bool TakePairingCode(const std::string& path, const std::string& token, const std::string& code,
                     std::int64_t nowUtcMs, std::string* error) {
  error->clear();
  if (!IsHex(code, kPairingCodeLength)) return false;
  LockedFile file(path);
  std::string text;
  if (!file.Open(false, &text, error)) return false;
  std::vector<Code> codes = GoodCodes(text, token, nowUtcMs);
  bool found = false;
  for (auto it = codes.begin(); it != codes.end(); ++it) {
    if (SameToken(it->code, code)) {
      codes.erase(it);
      found = true;
      break;
    }
  }
  const std::string rest = Text(codes, token);
  if ((found || rest != text) && !file.Write(rest, error)) return false;
  return found;
}

}  // namespace web
