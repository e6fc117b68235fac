// ArchiveSettings - how much the archive keeps: section "结果存档" of
// BrennaCenter.ini, key "RetentionDays" (results older than this many days
// go; 1 to 36500, default 90) and key "MaxSizeMB" (the file's cap in MiB;
// 1 to 1048576, default 1024). A missing file, section or key gives the
// default; a value out of range gives it too, and the journal says so.
#ifndef BRENNA_UTIL_ARCHIVESETTINGS_H
#define BRENNA_UTIL_ARCHIVESETTINGS_H

#include <cstdint>
#include <string>

class CIniFile;

struct ArchiveLimits {
  int retentionDays;
  std::uint64_t maxBytes;
};

// What the archive keeps when the settings say nothing: 90 days, 1 GiB.
inline constexpr ArchiveLimits kDefaultArchiveLimits{90, std::uint64_t{1} << 30};

// The limits from the settings file at iniPath (empty: the defaults).
ArchiveLimits ReadArchiveSettings(CIniFile& ini, const std::string& iniPath);

#endif  // BRENNA_UTIL_ARCHIVESETTINGS_H
