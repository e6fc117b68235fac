#include <gtest/gtest.h>

#include "platform/Gbk.h"

TEST(Gbk, ChineseTextIsTwoBytesPerCharacter) {
  // "设备空闲" in GBK: C9E8 B1B8 BFD5 CFD0.
  EXPECT_EQ(Gbk("设备空闲"), "\xC9\xE8\xB1\xB8\xBF\xD5\xCF\xD0");
  EXPECT_EQ(Gbk("Port"), "Port");
  EXPECT_EQ(Gbk("数据监控").size(), 8u);
}

TEST(Gbk, RoundTripsThroughUtf8) {
  const std::string utf8 = "否决项 合格项 建议项 不评项 (kcd) 左右(cm/10m)";
  EXPECT_EQ(GbkToUtf8(Gbk(utf8)), utf8);
}

TEST(Gbk, UnconvertibleCharactersBecomeOneQuestionMarkEach) {
  EXPECT_EQ(Gbk("a\xF0\x9F\x98\x80"
                "b"),
            "a?b");  // an emoji has no GBK form
}

TEST(Gbk, InvalidGbkBytesBecomeReplacementCharacters) {
  EXPECT_EQ(GbkToUtf8("x\xFFy"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(GbkToUtf8("\xC9"), "\xEF\xBF\xBD");  // a lead byte cut off at the end
}
