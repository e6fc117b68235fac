#include "web/PrivateFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace web {

namespace {

std::string Why() { return std::strerror(errno); }

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

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

PrivateRead ReadPrivateFile(const std::string& path, std::size_t maxBytes, std::string* text,
                            std::string* error) {
  text->clear();
  // Never through a link; a FIFO put in its place does not hold us up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return PrivateRead::kMissing;
    *error = "cannot be read (" + Why() + ")";
    return PrivateRead::kRefused;
  }
  struct stat st {};
  PrivateRead result = PrivateRead::kOk;
  if (::fstat(fd, &st) != 0) {
    *error = "cannot be read (" + Why() + ")";
    result = PrivateRead::kRefused;
  } else if (!S_ISREG(st.st_mode)) {
    *error = "is no regular file";
    result = PrivateRead::kRefused;
  } else if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    *error = std::string("may be read by others (mode ") + mode + ")";
    result = PrivateRead::kRefused;
  } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    *error = "is larger than " + std::to_string(maxBytes) + " bytes";
    result = PrivateRead::kRefused;
  } else {
    text->resize(maxBytes + 1);
    std::size_t have = 0;
    while (have < text->size()) {
      const ssize_t n = ::read(fd, &(*text)[have], text->size() - have);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *error = "cannot be read (" + Why() + ")";
        result = PrivateRead::kRefused;
      }
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    text->resize(have);
    if (result == PrivateRead::kOk && have > maxBytes) {
      *error = "is larger than " + std::to_string(maxBytes) + " bytes";
      result = PrivateRead::kRefused;
    }
  }
  ::close(fd);
  if (result != PrivateRead::kOk) text->clear();
  return result;
}

bool MakePrivateFolder(const std::string& path, std::string* error) {
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return true;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    *error = "cannot make " + dir.string() + " (" + ec.message() + ")";
    return false;
  }
  // The folder is the archive's: the owner's alone.
  ::chmod(dir.c_str(), 0700);
  return true;
}

bool WritePrivateFile(const std::string& path, const std::string& text, std::string* error) {
  if (!MakePrivateFolder(path, error)) return false;
  const std::string part = path + ".part";
  ::unlink(part.c_str());
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write " + part + " (" + Why() + ")";
    return false;
  }
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  std::string why = ok ? std::string() : Why();
  ::close(fd);
  // rename() replaces a link at the path itself, never its target.
  if (ok && ::rename(part.c_str(), path.c_str()) != 0) {
    ok = false;
    why = Why();
  }
  if (!ok) {
    *error = "cannot write " + path + " (" + why + ")";
    ::unlink(part.c_str());
    return false;
  }
  return true;
}

std::string RandomHex(std::size_t bytes) {
  std::string random(bytes, '\0');
  if (!RandomBytes(reinterpret_cast<unsigned char*>(&random[0]), bytes)) return std::string();
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (char c : random) {
    const auto b = static_cast<unsigned char>(c);
    text += hex[b >> 4];
    text += hex[b & 15];
  }
  return text;
}

bool IsHex(const std::string& text, std::size_t digits) {
  if (text.size() != digits) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

std::string TokenMark(const std::string& token) {
  // FNV-1a over the token, with the file's purpose mixed in: 64 bits of a
  // 256-bit random token say nothing that narrows the search for it.
  std::uint64_t h = 14695981039346656037ull;
  for (char c : std::string("brenna-web mark ") + token) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

}  // namespace web
