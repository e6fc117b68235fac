#include <gtest/gtest.h>

#include "util/PortNumber.h"

namespace {

struct Entry {
  const char* text;
  int passes;
  int value;  // meaningful when it passes
};

TEST(CheckNumber, AcceptsAndRejectsAsTheEntryRulesSay) {
  const Entry entries[] = {
      {"10005", 1, 10005}, {"-5", 1, -5},       {"12.5", 1, 12}, {"5.", 1, 5},     {"", 1, 0},
      {"-", 1, 0},         {"99999", 1, 99999}, {"0", 1, 0},     {"-12.", 1, -12}, {".5", 0, 0},
      {"-.5", 0, 0},       {"1.2.3", 0, 0},     {"5-", 0, 0},    {"+5", 0, 0},     {"12a", 0, 0},
      {" 5", 0, 0},        {"5 ", 0, 0},        {"1 0", 0, 0},   {"--5", 0, 0},    {"-5-", 0, 0},
      {"1..", 0, 0},       {"\xB6\xCB", 0, 0},
  };
  for (const Entry& e : entries) {
    EXPECT_EQ(CheckNumber(e.text), e.passes) << '"' << e.text << '"';
    if (e.passes) {
      EXPECT_EQ(PortEntryValue(e.text), e.value) << '"' << e.text << '"';
    }
  }
}

TEST(CheckNumber, VeryLongEntriesAreHandled) {
  EXPECT_EQ(CheckNumber(std::string(5000, '9')), 1);
  EXPECT_FALSE(IsUsablePort(PortEntryValue(std::string(5000, '9'))));
}

TEST(IsUsablePort, OnlyRealTcpPorts) {
  for (int bad : {0, -5, -1, 65536, 99999}) EXPECT_FALSE(IsUsablePort(bad)) << bad;
  for (int good : {1, 10004, 65535}) EXPECT_TRUE(IsUsablePort(good)) << good;
}

}  // namespace
