#include "web/Pairing.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"
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

  // False with *error empty when there is no file and `create` is false.
  bool Open(bool create, std::string* text, std::string* error) {
    if (create && !MakePrivateFolder(path_, error)) return false;
    std::string why;
    using Open = private_file_io::LockedFile::Open;
    switch (file_.OpenAndRead(path_, create, kMaxFileBytes, text, &why)) {
      case Open::kOk:
        return true;
      case Open::kMissing:
        return false;
      case Open::kFailed:
        return Fail("cannot be used (" + why + ")", error);
      case Open::kNotRegular:
        return Fail("is no regular file", error);
      case Open::kNotPrivate:
        return Fail("may be read by others: delete it (pairing links given so far stop working)",
                    error);
      case Open::kTooLarge:
        break;
    }
    return Fail("is too large: delete it", error);
  }

  // The whole file anew, in place (the lock is on this very file).
  bool Write(const std::string& text, std::string* error) {
    std::string why;
    if (file_.Rewrite(text, &why)) return true;
    return Fail("cannot be written (" + why + ")", error);
  }

 private:
  bool Fail(const std::string& why, std::string* error) {
    *error = "the pairing file " + path_ + " " + why;
    return false;
  }

  std::string path_;
  private_file_io::LockedFile file_;
};

}  // namespace

std::string PairingPathBeside(const std::string& tokenPath) {
  return JoinPath(ParentDirectory(tokenPath), "web-pairing");
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
    *error = "no random bytes for a pairing code (" + private_file_io::LastError() + ")";
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
