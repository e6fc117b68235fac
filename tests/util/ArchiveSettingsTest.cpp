// How much the archive keeps, from BrennaCenter.ini: a value that is no
// sensible limit (a typo, 0, a negative number) must not empty the archive;
// it keeps the default and says so.
#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "platform/Gbk.h"
#include "util/ArchiveSettings.h"
#include "util/IniFile.h"

TEST(ArchiveSettings, ValuesOutOfRangeKeepTheDefaultsAndValidOnesAreTaken) {
  TempDir dir;
  const std::string ini = dir.file("BrennaCenter.ini");
  CIniFile file;
  const auto with = [&](const std::string& days, const std::string& mb) {
    WriteFileBytes(ini, "[" + Gbk("端口号") + "]\nPort=10004\n[" + Gbk("结果存档") +
                            "]\nRetentionDays=" + days + "\nMaxSizeMB=" + mb + "\n");
    return ReadArchiveSettings(file, ini);
  };
  for (const auto& [days, mb] : {std::pair<const char*, const char*>{"0", "0"},
                                 {"-5", "-1"},
                                 {"abc", "x"},
                                 {"36501", "1048577"},
                                 {"", ""}}) {
    const ArchiveLimits l = with(days, mb);
    EXPECT_EQ(90, l.retentionDays) << days;
    EXPECT_EQ(std::uint64_t{1} << 30, l.maxBytes) << mb;
  }
  const ArchiveLimits l = with("365", "2");
  EXPECT_EQ(365, l.retentionDays);
  EXPECT_EQ(std::uint64_t{2} << 20, l.maxBytes);
  // No file, no section: the defaults.
  EXPECT_EQ(90, ReadArchiveSettings(file, dir.file("none.ini")).retentionDays);
  EXPECT_EQ(90, ReadArchiveSettings(file, std::string()).retentionDays);
}
