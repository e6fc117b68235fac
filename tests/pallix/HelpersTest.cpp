// The small helpers the monitor's composed operations build on: GBK-aware
// trimming and field splitting, IDs and devices, dates, file times.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <memory>
#include <set>

#include "Dates.h"
#include "FileDayTime.h"
#include "Ids.h"
#include "PallixTestSupport.h"
#include "SiteConfig.h"
#include "TextHelpers.h"

using namespace pallix;
using namespace pallix_test;

TEST(TextHelpers, TrimRemovesOnlyWholeSingleByteCharacters) {
  char a[] = "--5-";
  EXPECT_EQ(1, text::TrimLeft(a, '-'));
  EXPECT_STREQ("5-", a);
  EXPECT_EQ(0, text::TrimLeft(a, '-'));
  EXPECT_EQ(1, text::TrimRight(a, '-'));
  EXPECT_STREQ("5", a);
  char all[] = "@@@";
  EXPECT_EQ(1, text::TrimRight(all, '@'));
  EXPECT_STREQ("", all);

  // 丂 is 0x81 0x40: its trail byte is '@' and must not be trimmed.
  char gbk[] = "x\x81@@";
  EXPECT_EQ(1, text::TrimRight(gbk, '@'));
  EXPECT_STREQ("x\x81@", gbk);
  EXPECT_EQ(0, text::TrimRight(gbk, '@'));
  EXPECT_EQ(-1, text::TrimLeft(nullptr, ' '));
  EXPECT_EQ(-1, text::TrimRight(nullptr, ' '));
}

TEST(TextHelpers, GetField2SplitsAtTheSeparator) {
  char out[64];
  EXPECT_EQ(4, text::GetField2("2024-05-17", 0, out, '-'));
  EXPECT_STREQ("2024", out);
  EXPECT_EQ(2, text::GetField2("2024-05-17", 2, out, '-'));
  EXPECT_STREQ("17", out);
  EXPECT_EQ(0, text::GetField2("2024-05-17", 3, out, '-'));
  EXPECT_STREQ("", out);
  EXPECT_EQ(0, text::GetField2("a--b", 1, out, '-'));
  EXPECT_EQ(1, text::GetField2("a--b", 2, out, '-'));
  EXPECT_STREQ("b", out);
  // The separator inside a GBK character does not split.
  EXPECT_EQ(3, text::GetField2("\x81@x@y", 0, out, '@'));
  EXPECT_STREQ("\x81@x", out);
  EXPECT_EQ(-1, text::GetField2("a", -1, out, '-'));
  EXPECT_EQ(-1, text::GetField2(nullptr, 0, out, '-'));
}

TEST(Ids, SubIdsCarryTheLineAboveTheMainId) {
  EXPECT_EQ(0, ids::IsSubIdInt(5000));
  EXPECT_EQ(1, ids::IsSubIdInt(15000));
  EXPECT_EQ(-1, ids::IsSubIdInt(-3));
  EXPECT_EQ(1, ids::IsSubIdChar(" 25071 "));
  EXPECT_EQ(0, ids::IsSubIdChar("7700"));
  EXPECT_EQ(-1, ids::IsSubIdChar("brake"));
  EXPECT_EQ(-1, ids::IsSubIdChar("1234567890"));
  EXPECT_EQ(-1, ids::IsSubIdChar(nullptr));
  EXPECT_EQ(5071, ids::MainId(25071));
  EXPECT_EQ(7700, ids::MainId(7700));
  EXPECT_EQ(-1, ids::MainId(-1));
}

TEST(Ids, ParameterNamesComeFromTheSiteTable) {
  auto settings = std::make_shared<site::Settings>();
  settings->paramNames = {{"brake", "5071"}, {"\xcb\xd9\xb6\xc8", "5000"}};
  site::Install(settings);
  char out[12];
  EXPECT_EQ(1, ids::ParamIdByName("brake", 0, out));
  EXPECT_STREQ("5071", out);
  EXPECT_EQ(1, ids::ParamIdByName("\xcb\xd9\xb6\xc8", 2, out));
  EXPECT_STREQ("25000", out);
  EXPECT_EQ(1, ids::ParamIdByName("15139", 3, out));  // a number names itself
  EXPECT_STREQ("35139", out);
  EXPECT_EQ(0, ids::ParamIdByName("unknown", 0, out));
  EXPECT_STREQ("", out);
  EXPECT_EQ(-1, ids::ParamIdByName("brake", 100000, out));
  EXPECT_EQ(-1, ids::ParamIdByName(nullptr, 0, out));
}

TEST(Ids, DevicesAndTheirItemsMapBothWays) {
  int list[ids::kMaxListedItems];
  const std::pair<int, int> devices[] = {{3, 2},  {7, 1},  {8, 1},  {11, 16},
                                         {14, 4}, {15, 5}, {25, 37}};
  std::set<int> seen;
  for (auto [dev, count] : devices) {
    ASSERT_EQ(count, ids::ItemIdsByDevId(dev, list)) << dev;
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(dev, ids::DevIdByItemId(list[i]));
      EXPECT_TRUE(seen.insert(list[i]).second) << list[i];
    }
  }
  EXPECT_EQ(66u, seen.size());
  EXPECT_EQ(25, ids::DevIdByItemId(15071));  // a sub-ID's main ID
  EXPECT_EQ(0, ids::DevIdByItemId(5002));
  EXPECT_EQ(0, ids::DevIdByItemId(7700));
  EXPECT_EQ(-1, ids::DevIdByItemId(-5000));
  EXPECT_EQ(0, ids::ItemIdsByDevId(4, list));
  EXPECT_EQ(-1, ids::ItemIdsByDevId(3, nullptr));
}

TEST(Dates, DaysAreAddedAcrossMonthsYearsAndLeapDays) {
  auto date = [](int y, int m, int d) {
    PallixDate p{};
    p.year = y;
    p.month = static_cast<unsigned char>(m);
    p.day = static_cast<unsigned char>(d);
    return p;
  };
  auto shifted = [&](PallixDate in, int span) {
    PallixDate out{};
    EXPECT_EQ(1, dates::DateByTimeSpan(&in, span, &out));
    return std::to_string(out.year) + "-" + std::to_string(out.month) + "-" +
           std::to_string(out.day);
  };
  EXPECT_EQ("2024-2-29", shifted(date(2024, 2, 28), 1));
  EXPECT_EQ("2024-3-1", shifted(date(2024, 2, 28), 2));
  EXPECT_EQ("2023-3-1", shifted(date(2023, 2, 28), 1));
  EXPECT_EQ("2024-1-1", shifted(date(2023, 12, 31), 1));
  EXPECT_EQ("2023-5-17", shifted(date(2024, 5, 17), -366));
  EXPECT_EQ("2000-2-29", shifted(date(2000, 2, 29), 0));

  PallixDate out{};
  PallixDate bad = date(2023, 2, 29);
  EXPECT_EQ(-2, dates::DateByTimeSpan(&bad, 1, &out));
  bad = date(2023, 13, 1);
  EXPECT_EQ(-2, dates::DateByTimeSpan(&bad, 1, &out));
  PallixDate last = date(9999, 12, 31);
  EXPECT_EQ(-3, dates::DateByTimeSpan(&last, 1, &out));
  EXPECT_EQ(-1, dates::DateByTimeSpan(nullptr, 1, &out));
}

TEST(FileDayTime, ReportsTheLocalModificationTimeOfRegularFilesOnly) {
  const fs::path dir = ScratchDir();
  const fs::path file = dir / "a.DOING";
  WriteFile(file, "x");
  const time_t when = 1700000000;  // a fixed moment, shown in local time
  utimbuf times{when, when};
  ASSERT_EQ(0, ::utime(file.string().c_str(), &times));
  const tm local = *std::localtime(&when);

  int day = 0, time = 0;
  ASSERT_EQ(1, filetime::FileDayTime(file.string().c_str(), &day, &time));
  EXPECT_EQ((local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday, day);
  EXPECT_EQ(local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec, time);
  EXPECT_EQ(1, filetime::FileDayTime(file.string().c_str(), nullptr, nullptr));

  day = time = 7;
  EXPECT_EQ(0, filetime::FileDayTime((dir / "missing.DOING").string().c_str(), &day, &time));
  fs::create_directory(dir / "folder.DOING");
  EXPECT_EQ(0, filetime::FileDayTime((dir / "folder.DOING").string().c_str(), &day, &time));
  EXPECT_EQ(7, day);
  EXPECT_EQ(7, time);
  EXPECT_EQ(-1, filetime::FileDayTime(nullptr, &day, &time));
}
