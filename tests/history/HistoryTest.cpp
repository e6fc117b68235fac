// brenna-history's handling of what it cannot trust: archive text that is
// no GBK or holds control characters or formulas comes out harmless, and a
// command line it cannot take gets a clear answer instead of a guess.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ArchiveTime.h"
#include "history/HistoryOptions.h"
#include "history/SafeText.h"
#include "platform/Gbk.h"

using history::CsvCell;
using history::FromGbk;

TEST(SafeText, ArchiveTextCannotDriveTheTerminalBreakALineOrRunAsAFormula) {
  EXPECT_EQ("制动", FromGbk(Gbk("制动")));
  // Not GBK: a replacement character, the rest kept.
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      FromGbk("a\xFF"
              "b"));
  // Escape sequences, line breaks, NUL and backslashes are written out.
  EXPECT_EQ("\\x1b[2J\\x0d\\x0aX\\x00\\\\", FromGbk(std::string("\x1b[2J\r\nX\0\\", 9)));
  // C1 controls in archive text kept as UTF-8 (a station list edited by hand).
  EXPECT_EQ("a\\u009bb", history::FromUtf8("a\xC2\x9B"
                                           "b"));

  // A spreadsheet would run these; as cells they stay text.
  EXPECT_EQ("\"'=HYPERLINK(\"\"x\"\")\"", CsvCell("=HYPERLINK(\"x\")"));
  EXPECT_EQ("\"'=1+1,2\"", CsvCell("=1+1,2"));
  EXPECT_EQ("'@SUM(A1)", CsvCell("@SUM(A1)"));
  EXPECT_EQ("'+cmd", CsvCell("+cmd"));
  EXPECT_EQ("'-2+3", CsvCell("-2+3"));
  // Numbers stay numbers.
  EXPECT_EQ("-3.5", CsvCell("-3.5"));
  EXPECT_EQ("+3.2", CsvCell("+3.2"));
  EXPECT_EQ("\"a \"\"b\"\"\"", CsvCell("a \"b\""));
  EXPECT_EQ("\" padded \"", CsvCell(" padded "));
}

TEST(HistoryOptions, ACommandLineItCannotTakeIsRefusedWithTheReason) {
  const std::int64_t now = archive::NowUtcMs();
  struct Bad {
    std::vector<std::string> args;
    const char* says;
  };
  const Bad bad[] = {
      {{"--bogus"}, "unknown argument '--bogus'"},
      {{"--day"}, "--day needs a value"},
      {{"--day", "2026-02-30"}, "is no day"},
      {{"--from", "2026-12-07 25:00"}, "is no time"},
      {{"--from", "2026-12-07 10:00", "--to", "2026-12-07 09:00"}, "--from is after --to"},
      {{"--group", "kitchen"}, "is no device group; one of "},
      {{"--show", "-1"}, "is no result id"},
      {{"--show", "99999999999999999999"}, "is no result id"},
      {{"--limit", "0"}, "must be a number from 1"},
      {{"--panel", "yesterday at noon"}, "is no time"},
      {{"--operator", "\xFF"}, "must be UTF-8 text that GBK can hold"},
      {{"--transfer", std::string(5000, 'x')}, "too long"},
  };
  for (const Bad& b : bad) {
    history::HistoryOptions o;
    std::string error;
    EXPECT_FALSE(history::ParseHistoryOptions(b.args, now, &o, &error)) << b.args[0];
    EXPECT_NE(std::string::npos, error.find(b.says)) << error;
  }

  // Nothing asked: today's results. A group by caption or device code.
  history::HistoryOptions o;
  std::string error;
  ASSERT_TRUE(history::ParseHistoryOptions({}, now, &o, &error)) << error;
  EXPECT_EQ(archive::ToLocal(now).day, o.filter.day);
  ASSERT_TRUE(
      history::ParseHistoryOptions({"--group", "制动设备", "--operator", "工号7"}, now, &o, &error))
      << error;
  EXPECT_EQ("制动设备", o.filter.group);
  EXPECT_EQ(Gbk("工号7"), o.filter.operatorText);
  EXPECT_TRUE(o.filter.day.empty());  // all days of that group and operator
  ASSERT_TRUE(history::ParseHistoryOptions({"--group", "25"}, now, &o, &error)) << error;
  EXPECT_EQ(25, o.filter.deviceCode);
  // --to keeps the whole minute it names: 10:30:59 is in, 10:31 is not.
  ASSERT_TRUE(history::ParseHistoryOptions(
      {"--from", "2026-12-07 10:30", "--to", "2026-12-07 10:30"}, now, &o, &error))
      << error;
  std::int64_t last = 0, next = 0;
  ASSERT_TRUE(archive::ParseLocalTime("2026-12-07 10:30:59.999", &last));
  ASSERT_TRUE(archive::ParseLocalTime("2026-12-07 10:31", &next));
  EXPECT_GT(o.filter.toUtcMs, last);
  EXPECT_EQ(o.filter.toUtcMs, next);
}
