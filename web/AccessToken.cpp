#include "web/AccessToken.h"

#include <cerrno>
#include <cstring>

#include "platform/ArchiveFolder.h"
#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"
#include "web/PrivateFile.h"

namespace web {

namespace {

bool ReadToken(const std::string& path, std::string* token, std::string* error) {
  std::string text, why;
  const PrivateRead read = ReadPrivateFile(path, 256, &text, &why);
  if (read == PrivateRead::kMissing)
    why = std::string("cannot be read (") + std::strerror(ENOENT) + ")";
  if (read != PrivateRead::kOk) {
    *error = "the token file " + path + " " + why;
    if (why.rfind("may be read by others", 0) == 0)
      *error += std::string(": ") + private_file_io::MakePrivateHint() +
                " if the token has not gone astray, or delete it for a new one";
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
  const std::string folder = ArchiveFolder();
  return folder.empty() ? std::string() : JoinPath(folder, "web-token");
}

bool LoadOrMakeToken(const std::string& path, std::string* token, bool* made, std::string* error) {
  *made = false;
  if (path.empty()) {
    *error = "no place for the token file (no home directory)";
    return false;
  }
  std::string why;
  switch (private_file_io::LookAt(path, &why)) {
    case private_file_io::Presence::kThere:
      return ReadToken(path, token, error);
    case private_file_io::Presence::kUnknown:
      *error = "cannot look at the token file " + path + " (" + why + ")";
      return false;
    case private_file_io::Presence::kMissing:
      break;
  }
  if (!MakePrivateFolder(path, error)) {
    *error += " for the token file";
    return false;
  }
  const std::string text = RandomHex(kTokenLength / 2);
  if (text.empty()) {
    *error = "no random bytes for a token (" + private_file_io::LastError() + ")";
    return false;
  }
  switch (private_file_io::MakePrivate(path, text + "\n", &why)) {
    case private_file_io::Made::kMade:
      *token = text;
      *made = true;
      return true;
    case private_file_io::Made::kExists:  // another brenna-web made one meanwhile
      return ReadToken(path, token, error);
    case private_file_io::Made::kCannotMake:
      *error = "cannot make the token file " + path + " (" + why + ")";
      return false;
    case private_file_io::Made::kCannotWrite:
      break;
  }
  *error = "cannot write the token file " + path + " (" + why + ")";
  return false;
}

bool SameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::vector<std::string> CookieValues(const std::string& header, const std::string& name) {
  std::vector<std::string> values;
  std::size_t at = 0;
  while (at < header.size()) {
    std::size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::size_t start = at;
    while (start < end && header[start] == ' ') ++start;
    const std::size_t eq = header.find('=', start);
    if (eq != std::string::npos && eq < end && header.compare(start, eq - start, name) == 0)
      values.push_back(header.substr(eq + 1, end - eq - 1));
    at = end + 1;
  }
  return values;
}

}  // namespace web
