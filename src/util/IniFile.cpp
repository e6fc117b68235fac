#include "util/IniFile.h"

#include <cstdio>

#include "platform/Gbk.h"
#include "util/PrivateProfile.h"

namespace {

// The private-profile read fills a 260-byte buffer.
constexpr size_t kMaxStringBytes = 259;

// Cuts text to at most max bytes without leaving half a GBK double-byte
// character at the end.
std::string CutGbk(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t i = 0;
  while (i < max && i + GbkCharLength(text, i) <= max) i += GbkCharLength(text, i);
  return text.substr(0, i);
}

}  // namespace

bool CIniFile::WriteInt(std::string section, std::string key, int value, std::string file) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return WritePrivateProfileString(section, key, text, file);
}

bool CIniFile::WriteString(std::string section, std::string key, std::string text,
                           std::string file) {
  return WritePrivateProfileString(section, key, text, file);
}

int CIniFile::GetInt(std::string section, std::string key, int def, std::string file) {
  return GetPrivateProfileInt(section, key, def, file);
}

std::string CIniFile::GetString(std::string section, std::string key, std::string def,
                                std::string file) {
  return CutGbk(GetPrivateProfileString(section, key, def, file), kMaxStringBytes);
}

std::string CIniFile::GetCommaField(std::string text, int n) {
  for (int i = 1; i < n; ++i) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) break;  // no further comma: the text stays as it is
    text = text.substr(comma + 1);
  }
  size_t comma = text.find(',');
  return comma == std::string::npos ? std::string() : text.substr(0, comma);
}
