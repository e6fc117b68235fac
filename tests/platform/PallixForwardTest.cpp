// Forwarding: each operation reaches its own export, with its arguments
// and its result unchanged.
#include <climits>
#include <string>

#include "PallixTestSupport.h"

class PallixForwardTest : public PallixTest {
 protected:
  void SetUp() override {
    PallixTest::SetUp();
    ASSERT_EQ(Load("pallixstub_complete"), 1);
    Stub().Reset();
  }
};

TEST_F(PallixForwardTest, EveryOperationCallsItsOwnExportOnce) {
  for (const Forwarder& f : Forwarders()) {
    Stub().Reset();
    EXPECT_FALSE(f.callReportsNotLoaded()) << f.name;
    const std::string calls = Stub().Calls();
    EXPECT_EQ(calls.rfind(std::string(f.name) + "(", 0), 0u) << f.name << ": " << calls;
    EXPECT_EQ(calls.find(';'), calls.size() - 1) << f.name << ": " << calls;
  }
}

TEST_F(PallixForwardTest, ArgumentsArriveUnchangedAndInOrder) {
  EXPECT_EQ(OpenNet(11, 0, 10004, 9898), 37);
  EXPECT_EQ(HDAddDat(-1, INT_MIN), 35);
  const char* t[6] = {"dsn", "driver", "server", "db", "user", "pass"};
  EXPECT_EQ(CreateODBC(t[0], t[1], t[2], t[3], t[4], t[5], INT_MAX), 14);
  int value = 0;
  EXPECT_EQ(SendNetData(7, t[2], 65535, &value, 2072), 40);
  EXPECT_EQ(IntoItem(), 94);
  EXPECT_EQ(Stub().Calls(),
            "OpenNet(11,0,10004,9898);"
            "HDAddDat(-1,-2147483648);"
            "CreateODBC(" +
                Ptr(t[0]) + "," + Ptr(t[1]) + "," + Ptr(t[2]) + "," + Ptr(t[3]) + "," + Ptr(t[4]) +
                "," + Ptr(t[5]) +
                ",2147483647);"
                "SendNetData(7," +
                Ptr(t[2]) + ",65535," + Ptr(&value) +
                ",2072);"
                "IntoItem();");
}

TEST_F(PallixForwardTest, CharacterArgumentsArriveAsCharacters) {
  char text[] = "text";
  char out[8] = {};
  TrimLeft(text, '#');
  TrimRight(text, '\xA1');  // a GBK lead byte: negative as a signed char
  RemoveLastChar(text, ',');
  GetField2(text, 7, out, '|');
  const std::string p = Ptr(text);
  EXPECT_EQ(Stub().Calls(), "TrimLeft(" + p + ",c35);TrimRight(" + p + ",c161);RemoveLastChar(" +
                                p + ",c44);GetField2(" + p + ",7," + Ptr(out) + ",c124);");
}

TEST_F(PallixForwardTest, ResultsComeBackUnchanged) {
  Stub().SetResult(PallixSlot::OpenNet, -77);
  Stub().SetResult(PallixSlot::ReadNetData, INT_MIN);
  EXPECT_EQ(OpenNet(11, 0, 10004, 9898), -77);
  char frame[4] = {};
  EXPECT_EQ(ReadNetData(11, frame, 4), INT_MIN);
  EXPECT_EQ(GetRand(3, 9), 112.25);
  EXPECT_EQ(GetRandEx2(), 171.25);
  const char* title = "title";
  EXPECT_EQ(GetLangueString(title), title);
}
