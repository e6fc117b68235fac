#include "util/ArchiveSettings.h"

#include "journal/Journal.h"
#include "platform/Gbk.h"
#include "util/IniFile.h"

namespace {

constexpr int kMaxRetentionDays = 36500;
constexpr int kMaxSizeMb = 1 << 20;

const std::string& Section() {
  static const std::string section = Gbk("结果存档");
  return section;
}

// The key's value within [1, max]; the default when there is none, or
// when it is out of range (said in the journal).
int Setting(CIniFile& ini, const std::string& iniPath, const char* key, int max, int def) {
  const std::string text = ini.GetString(Section(), key, "", iniPath);
  if (text.empty()) return def;
  const int value = ini.GetInt(Section(), key, def, iniPath);
  if (value >= 1 && value <= max) return value;
  BRENNA_LOG(kWarning, kStart,
             "%s=%s in section [结果存档] of %s is out of range (1 to %d): %d used", key,
             journal::JournalName(text).c_str(), journal::JournalName(iniPath).c_str(), max, def);
  return def;
}

}  // namespace

ArchiveLimits ReadArchiveSettings(CIniFile& ini, const std::string& iniPath) {
  const int defaultMb = static_cast<int>(kDefaultArchiveLimits.maxBytes >> 20);
  if (iniPath.empty()) return kDefaultArchiveLimits;
  const int days = Setting(ini, iniPath, "RetentionDays", kMaxRetentionDays,
                           kDefaultArchiveLimits.retentionDays);
  const int mb = Setting(ini, iniPath, "MaxSizeMB", kMaxSizeMb, defaultMb);
  return {days, static_cast<std::uint64_t>(mb) << 20};
}
