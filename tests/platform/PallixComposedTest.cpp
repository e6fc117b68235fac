// The composed operations against a stub whose helpers are scripted.
#include <cstring>
#include <string>
#include <vector>

#include "PallixTestSupport.h"

class PallixComposedTest : public PallixTest {
 protected:
  void SetUp() override {
    PallixTest::SetUp();
    ASSERT_EQ(Load("pallixstub_complete"), 1);
    Stub().Reset();
  }
};

TEST(PallixComposed, TrimBothIsOneWithoutALibrary) {
  char text[] = "  a  ";
  EXPECT_EQ(TrimBoth(text, ' '), 1);
  EXPECT_STREQ(text, "  a  ");
}

TEST_F(PallixComposedTest, TrimBothTrimsLeftThenRightAndIgnoresTheirResults) {
  Stub().SetResult(PallixSlot::TrimLeft, -5);
  Stub().SetResult(PallixSlot::TrimRight, 0);
  char text[] = "--a--";
  EXPECT_EQ(TrimBoth(text, '-'), 1);
  const std::string p = Ptr(text);
  EXPECT_EQ(Stub().Calls(), "TrimLeft(" + p + ",c45);TrimRight(" + p + ",c45);");
}

TEST_F(PallixComposedTest, MainIdOfText) {
  Stub().SetResult(PallixSlot::GetMainID, 870);
  EXPECT_EQ(GetMainID("  -1234xyz"), 870);
  EXPECT_EQ(GetMainID("abc"), 870);
  EXPECT_EQ(GetMainID("99999999999"), 870);  // saturates like the old atoi
  EXPECT_EQ(GetMainID(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(Stub().Calls(), "GetMainID(-1234);GetMainID(0);GetMainID(2147483647);");
}

TEST_F(PallixComposedTest, MainIdByNameOfASubIdUsesTheTextItself) {
  Stub().SetResult(PallixSlot::IsSubID_char, 1);
  Stub().SetResult(PallixSlot::GetMainID, 5);
  const char* id = "30512";
  EXPECT_EQ(GetMainIDByName(id, 9), 5);
  EXPECT_EQ(Stub().Calls(), "IsSubID_char(" + Ptr(id) + ");GetMainID(30512);");
}

TEST_F(PallixComposedTest, MainIdByNameOfANameAsksForTheParameterId) {
  Stub().SetResult(PallixSlot::IsSubID_char, 0);
  Stub().SetResult(PallixSlot::GetParamIDByName, 1);
  Stub().SetText(PallixSlot::GetParamIDByName, "5077");
  const char* name = "speed";
  EXPECT_EQ(GetMainIDByName(name, -3), 87);
  const std::string calls = Stub().Calls();
  EXPECT_EQ(
      calls.rfind("IsSubID_char(" + Ptr(name) + ");GetParamIDByName(" + Ptr(name) + ",-3,", 0), 0u)
      << calls;
  EXPECT_EQ(calls.substr(calls.size() - std::strlen("GetMainID(5077);")), "GetMainID(5077);");

  // No parameter found: the ID is 0, whatever the buffer holds.
  Stub().Reset();
  Stub().SetResult(PallixSlot::IsSubID_char, -1);
  Stub().SetResult(PallixSlot::GetParamIDByName, 0);
  Stub().SetText(PallixSlot::GetParamIDByName, "5077");
  EXPECT_EQ(GetMainIDByName(name, 0), 87);
  EXPECT_NE(Stub().Calls().find("GetMainID(0);"), std::string::npos);
}

TEST_F(PallixComposedTest, MainIdOfLine) {
  Stub().SetResult(PallixSlot::GetMainID, 44);
  Stub().SetResult(PallixSlot::IsSubID_int, 1);
  EXPECT_EQ(GetMainIDOfLine(30512, 3), 44);
  EXPECT_EQ(GetMainIDOfLine(30512, 2), 0);
  EXPECT_EQ(GetMainIDOfLine(-30512, -3), 44);  // the quotient truncates toward zero
  Stub().SetResult(PallixSlot::IsSubID_int, 0);
  EXPECT_EQ(GetMainIDOfLine(30512, 3), 0);
  EXPECT_EQ(Stub().Calls(),
            "IsSubID_int(30512);GetMainID(30512);IsSubID_int(30512);"
            "IsSubID_int(-30512);GetMainID(-30512);IsSubID_int(30512);");
}

TEST_F(PallixComposedTest, FirstItemDevId) {
  Stub().SetResult(PallixSlot::GetDevIDByItemID, 12);
  EXPECT_EQ(GetFirstItemDevID(5), 12);
  Stub().SetResult(PallixSlot::GetItemIDByDevID, 0);
  EXPECT_EQ(GetFirstItemDevID(6), 0);
  Stub().SetResult(PallixSlot::GetItemIDByDevID, -3);
  EXPECT_EQ(GetFirstItemDevID(7), -3);
  const std::string calls = Stub().Calls();
  EXPECT_NE(calls.find("GetDevIDByItemID(501);"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("GetDevIDByItemID", calls.find("GetItemIDByDevID(6,")), std::string::npos)
      << calls;
}

TEST_F(PallixComposedTest, DateByTimeSpanFormatsTheLibrarysDate) {
  char out[32] = {};
  EXPECT_EQ(GetDateByTimeSpan("2024-03-05", 4, out), 1);
  EXPECT_STREQ(out, "2024-03-09");
  EXPECT_EQ(GetDateByTimeSpan("999-1-2", 0, out), 1);
  EXPECT_STREQ(out, "0999-01-02");
  const std::string calls = Stub().Calls();
  EXPECT_NE(calls.find("in=2024/3/5;"), std::string::npos) << calls;  // month and day not swapped
  EXPECT_NE(calls.find(",c45);"), std::string::npos) << calls;        // split at '-'
}

TEST_F(PallixComposedTest, DateByTimeSpanFailures) {
  char out[32] = "unchanged";
  EXPECT_EQ(GetDateByTimeSpan("2024-03", 1, out), -2);
  EXPECT_STREQ(out, "2024-03");  // the caller's date, copied before the split
  Stub().SetResult(PallixSlot::GetField2, 0);
  EXPECT_EQ(GetDateByTimeSpan("2024-03-05", 1, out), -2);
  EXPECT_EQ(Stub().Calls().find("GetDateByTimeSpan"), std::string::npos);
  Stub().Reset();
  Stub().SetResult(PallixSlot::GetDateByTimeSpan, 0);
  EXPECT_EQ(GetDateByTimeSpan("2024-03-05", 1, out), 0);
  EXPECT_STREQ(out, "2024-03-05");
  EXPECT_EQ(GetDateByTimeSpan(static_cast<const char*>(nullptr), 1, out), 0);
  EXPECT_EQ(GetDateByTimeSpan("2024-03-05", 1, static_cast<char*>(nullptr)), 0);
}

TEST_F(PallixComposedTest, DateByTimeSpanRefusesADateTextNoFieldBufferCanHold) {
  // A 600-byte year would overrun the 512-byte field buffer.
  const std::string longYear = std::string(600, '1') + "-03-05";
  char out[32] = "unchanged";
  EXPECT_EQ(GetDateByTimeSpan(longYear.c_str(), 1, out), kDateTextTooLong);
  EXPECT_STREQ(out, "unchanged");
  EXPECT_EQ(Stub().Calls(), "");
  // 511 bytes are still split: the widest field then fits its buffer.
  const std::string widest = std::string(505, '2') + "-03-05";
  ASSERT_EQ(widest.size(), 511u);
  std::vector<char> wide(widest.size() + 1);
  EXPECT_EQ(GetDateByTimeSpan(widest.c_str(), 1, wide.data()), 1);
  EXPECT_STREQ(wide.data(), "2147483647-03-06");  // the year saturates
}

TEST_F(PallixTest, ComposedOperationsWithoutTheirEntries) {
  // Bound up to GetBrennaLineInfo (86): GetField2 works, GetMainID and
  // GetDateByTimeSpan do not.
  ASSERT_EQ(Load("pallixstub_no_GetMainID"), -88);
  char out[32] = "unchanged";
  EXPECT_EQ(GetDateByTimeSpan("2024-03-05", 1, out), PALLIX_NOT_LOADED);
  EXPECT_EQ(GetDateByTimeSpan(static_cast<const char*>(nullptr), 1, out), PALLIX_NOT_LOADED);
  EXPECT_STREQ(out, "unchanged");
  EXPECT_EQ(GetMainID("12"), PALLIX_NOT_LOADED);
  EXPECT_EQ(GetMainID(static_cast<const char*>(nullptr)), PALLIX_NOT_LOADED);
  Stub().SetResult(PallixSlot::IsSubID_int, 1);
  EXPECT_EQ(GetMainIDOfLine(30512, 3), PALLIX_NOT_LOADED);
}
