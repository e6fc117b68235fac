#include <gtest/gtest.h>

#include <set>

#include "panel/ResultRouting.h"

namespace {

constexpr ColorScheme F = ColorScheme::kFourColour;
constexpr ColorScheme T = ColorScheme::kTwoColour;
constexpr ColorScheme P = ColorScheme::kPresence;
constexpr ValueFormat AS = ValueFormat::kAsReceived;
constexpr ValueFormat TEN = ValueFormat::kTenths;
constexpr ValueFormat THOU = ValueFormat::kThousandths;

// The routes written down once more, group by group, the way the window
// shows them: a slip in either copy shows up here.
struct Expected {
  int code, display;
  ColorScheme scheme;
  ValueFormat format;
};
const Expected kExpected[] = {
    {5000, 1019, F, AS},
    {5001, 1020, F, AS},  // speed
    {5008, 1024, P, AS},
    {5009, 1052, P, AS},
    {5010, 1056, P, AS},
    {5012, 1064, F, AS},  // smoke
    {5028, 1066, F, AS},
    {5029, 1067, F, AS},
    {5033, 1068, F, AS},
    {5018, 1069, F, AS},
    {5019, 1070, F, AS},  // exhaust
    {5142, 1077, F, AS},
    {5139, 1081, F, AS},  // slip, sound
    // headlamps, row by row: intensity, high beam up/down, left/right, low beam up/down, left/right
    {5157, 1082, F, THOU},
    {5159, 1092, F, AS},
    {5160, 1107, F, AS},
    {5164, 1111, F, AS},
    {5163, 1115, F, AS},
    {5165, 1083, F, THOU},
    {5167, 1093, F, AS},
    {5168, 1108, F, AS},
    {5173, 1087, F, THOU},
    {5175, 1102, F, AS},
    {5176, 1109, F, AS},
    {5181, 1113, F, AS},
    {5180, 1117, F, AS},
    {5182, 1088, F, THOU},
    {5184, 1103, F, AS},
    {5185, 1110, F, AS},
    // brake, axle by axle: loads, max force, process difference
    {5053, 1120, P, AS},
    {5054, 1123, P, AS},
    {5071, 1126, P, TEN},
    {5072, 1129, P, TEN},
    {5073, 1132, P, TEN},
    {5074, 1135, P, TEN},
    {5056, 1121, P, AS},
    {5057, 1124, P, AS},
    {5081, 1127, P, TEN},
    {5082, 1130, P, TEN},
    {5083, 1133, P, TEN},
    {5084, 1136, P, TEN},
    {5059, 1122, P, AS},
    {5060, 1125, P, AS},
    {5091, 1128, P, TEN},
    {5092, 1131, P, TEN},
    {5093, 1134, P, TEN},
    {5094, 1137, P, TEN},
    {5132, 1153, P, TEN},
    {5136, 1154, P, TEN},  // parking, whole vehicle force
    // brake percentages and time
    {5075, 1138, T, AS},
    {5076, 1141, T, AS},
    {5078, 1144, T, AS},
    {5079, 1147, T, AS},
    {5080, 1150, T, AS},
    {5085, 1139, T, AS},
    {5086, 1142, T, AS},
    {5088, 1145, T, AS},
    {5089, 1148, T, AS},
    {5090, 1151, T, AS},
    {5095, 1140, T, AS},
    {5096, 1143, T, AS},
    {5098, 1146, T, AS},
    {5099, 1149, T, AS},
    {5100, 1152, T, AS},
    {5131, 1155, T, AS},
    {5135, 1156, T, AS},
};

TEST(ResultRouting, EveryRouteIsWhereTheWindowExpectsIt) {
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  ASSERT_EQ(count, 66);
  ASSERT_EQ(std::size(kExpected), 66u);
  std::set<int> codes, displays;
  for (int i = 0; i < count; ++i) {
    codes.insert(routes[i].itemCode);
    displays.insert(routes[i].displayId);
  }
  EXPECT_EQ(codes.size(), 66u) << "one route per code";
  EXPECT_EQ(displays.size(), 66u) << "one code per display";
  for (const Expected& e : kExpected) {
    SCOPED_TRACE(e.code);
    const ResultRoute* r = FindRoute(e.code);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->displayId, e.display);
    EXPECT_EQ(r->scheme, e.scheme);
    EXPECT_EQ(r->format, e.format);
  }
}

TEST(ResultRouting, UnlistedCodesAndTheInnerLowBeamCellsHaveNoRoute) {
  for (int code : {4999, 5002, 5003, 5007, 5077, 5101, 5115, 5130, 5186, 7700, 7701, 0, -5000})
    EXPECT_EQ(FindRoute(code), nullptr) << code;
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i)
    for (int never : {1112, 1114, 1116, 1118}) EXPECT_NE(routes[i].displayId, never);
}

TEST(ResultRouting, OperatorDisplayByDeviceCode) {
  const std::pair<int, int> table[] = {{3, 1018},  {7, 1073},  {8, 1072}, {11, 1157},
                                       {14, 1021}, {15, 1065}, {25, 1119}};
  for (auto [device, display] : table) EXPECT_EQ(OperatorDisplayForDevice(device), display);
  for (int other : {0, 1, 4, 9, 24, 26, -3}) EXPECT_EQ(OperatorDisplayForDevice(other), 0);
}

TEST(ResultRouting, JudgeColours) {
  const COLORREF blue = RGB(0, 0, 255), red = RGB(255, 0, 0), green = RGB(0, 255, 0),
                 black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  // Judge codes -1 to 5.
  const COLORREF four[] = {white, white, blue, red, green, black, white};
  const COLORREF two[] = {white, white, blue, red, white, white, white};
  for (int judge = -1; judge <= 5; ++judge) {
    EXPECT_EQ(JudgeColor(F, judge), four[judge + 1]) << judge;
    EXPECT_EQ(JudgeColor(T, judge), two[judge + 1]) << judge;
    EXPECT_EQ(JudgeColor(P, judge), judge > 0 ? black : white) << judge;
  }
  EXPECT_EQ(JudgeColor(F, 7), white);
  EXPECT_EQ(JudgeColor(P, 1000), black);
}

TEST(ResultRouting, ValueFormats) {
  EXPECT_EQ(FormatValue(AS, " 12.5 kg"), " 12.5 kg");
  EXPECT_EQ(FormatValue(TEN, "1234"), "123");
  EXPECT_EQ(FormatValue(TEN, "-7"), "0") << "truncated toward zero";
  EXPECT_EQ(FormatValue(TEN, "-17"), "-1");
  EXPECT_EQ(FormatValue(TEN, "abc"), "0");
  EXPECT_EQ(FormatValue(TEN, "  +95x"), "9");
  EXPECT_EQ(FormatValue(TEN, "12.9"), "1");
  EXPECT_EQ(FormatValue(THOU, "15300"), "15");
  EXPECT_EQ(FormatValue(THOU, "999"), "0");
  EXPECT_EQ(FormatValue(THOU, "-2500"), "-2");
  EXPECT_EQ(FormatValue(THOU, "99999999999"), "2147483");
  EXPECT_EQ(FormatValue(TEN, ""), "0");
}

}  // namespace
