// CIniFile - the settings file access of the monitor (BrennaCenter.ini).
// Keeps no state: every operation names section, key and file itself.
#ifndef BRENNA_UTIL_INIFILE_H
#define BRENNA_UTIL_INIFILE_H

#include <string>

class CIniFile {
 public:
  CIniFile() = default;
  virtual ~CIniFile() = default;

  // Writes value as "%d"; true once the file holds it. False, with the file
  // untouched, when it cannot be read or written or is read-only.
  bool WriteInt(std::string section, std::string key, int value, std::string file);
  bool WriteString(std::string section, std::string key, std::string text, std::string file);
  // The key's leading integer; def when file, section or key is missing.
  int GetInt(std::string section, std::string key, int def, std::string file);
  // The key's text, at most 259 bytes; def when missing.
  std::string GetString(std::string section, std::string key, std::string def, std::string file);
  // The n-th comma-separated field, from 1, returned only when a comma
  // follows it; n <= 0 behaves as 1.
  std::string GetCommaField(std::string text, int n);
};

#endif  // BRENNA_UTIL_INIFILE_H
