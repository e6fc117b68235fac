#include "web/PrivateFile.h"

#include <cstdio>

#include "platform/PrivateFileIo.h"

namespace web {

PrivateRead ReadPrivateFile(const std::string& path, std::size_t maxBytes, std::string* text,
                            std::string* error) {
  switch (private_file_io::ReadPrivate(path, maxBytes, text, error)) {
    case private_file_io::Read::kOk:
      return PrivateRead::kOk;
    case private_file_io::Read::kMissing:
      return PrivateRead::kMissing;
    case private_file_io::Read::kRefused:
      break;
  }
  return PrivateRead::kRefused;
}

bool MakePrivateFolder(const std::string& path, std::string* error) {
  return private_file_io::MakePrivateFolderOf(path, error);
}

bool WritePrivateFile(const std::string& path, const std::string& text, std::string* error) {
  return private_file_io::ReplacePrivate(path, text, error);
}

std::string RandomHex(std::size_t bytes) {
  std::string random(bytes, '\0');
  if (!private_file_io::RandomBytes(reinterpret_cast<unsigned char*>(&random[0]), bytes))
    return std::string();
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
