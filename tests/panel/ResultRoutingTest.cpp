#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "PallixForTests.h"
#include "panel/DialogTemplate.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"

namespace {

constexpr ColorScheme F = ColorScheme::kFourColour;
constexpr ColorScheme T = ColorScheme::kTwoColour;
constexpr ColorScheme P = ColorScheme::kPresence;
constexpr ValueFormat AS = ValueFormat::kAsReceived;
constexpr ValueFormat TEN = ValueFormat::kTenths;
constexpr ValueFormat THOU = ValueFormat::kThousandths;

// The four inner low-beam cells: displays that no item reaches.
constexpr int kUnfilledCells[] = {1112, 1114, 1116, 1118};

const DlgControl* ValueDisplayControl(int id) {
  const DlgControl* c = FindControl(MainDialogTemplate(), id);
  return c != nullptr && c->kind == ControlKind::ValueDisplay ? c : nullptr;
}

std::vector<ResultRoute> Routes() {
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  return std::vector<ResultRoute>(routes, routes + count);
}

// The group box whose frame holds the rectangle, or null.
const DlgControl* GroupHolding(const DluRect& r) {
  for (const DlgControl& g : MainDialogTemplate()) {
    if (g.kind != ControlKind::GroupBox) continue;
    if (r.x >= g.rect.x && r.y >= g.rect.y && r.x + r.cx <= g.rect.x + g.rect.cx &&
        r.y + r.cy <= g.rect.y + g.rect.cy)
      return &g;
  }
  return nullptr;
}

// The "工号" label whose row the display continues: same line, to its left,
// in the same group.
const DlgControl* OperatorLabelOf(const DlgControl& display) {
  for (const DlgControl& c : MainDialogTemplate()) {
    if (c.kind != ControlKind::Label || std::string(c.text) != "工号") continue;
    if (c.rect.y == display.rect.y && c.rect.x + c.rect.cx <= display.rect.x &&
        GroupHolding(c.rect) == GroupHolding(display.rect))
      return &c;
  }
  return nullptr;
}

TEST(ResultRouting, EveryRouteShowsOnAValueDisplayOfTheWindowOnceEach) {
  const std::vector<ResultRoute> routes = Routes();
  ASSERT_FALSE(routes.empty());
  std::set<int> codes, displays;
  for (const ResultRoute& r : routes) {
    SCOPED_TRACE(r.itemCode);
    EXPECT_TRUE(codes.insert(r.itemCode).second) << "item code routed twice";
    EXPECT_TRUE(displays.insert(r.displayId).second)
        << "display " << r.displayId << " routed twice";
    EXPECT_NE(ValueDisplayControl(r.displayId), nullptr)
        << "display " << r.displayId << " is no value display of the window";
    EXPECT_FALSE(IsOperatorDisplay(r.displayId)) << "a measurement on an operator display";
    EXPECT_FALSE(GroupCaptionOf(r.displayId).empty()) << "a display outside every device group";
    const ResultRoute* found = FindRoute(r.itemCode);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->displayId, r.displayId);
    EXPECT_EQ(found->scheme, r.scheme);
    EXPECT_EQ(found->format, r.format);
  }
  // Every value display shows either a route or an operator, but the four
  // inner low-beam cells (checked below), which nothing fills.
  EXPECT_EQ(displays.size() + std::size(kDeviceOperators) + std::size(kUnfilledCells),
            std::size(kValueDisplayIds));
}

TEST(ResultRouting, EveryOperatorDisplayIsTheOneOfItsGroup) {
  std::map<std::string_view, int> operatorOfGroup;
  for (const DeviceOperator& d : kDeviceOperators) {
    SCOPED_TRACE(d.deviceCode);
    EXPECT_EQ(OperatorDisplayForDevice(d.deviceCode), d.displayId);
    const DlgControl* display = ValueDisplayControl(d.displayId);
    ASSERT_NE(display, nullptr) << "display " << d.displayId << " is no value display";
    const std::string_view group = GroupCaptionOf(d.displayId);
    ASSERT_FALSE(group.empty()) << "display " << d.displayId << " lies in no device group";
    EXPECT_TRUE(operatorOfGroup.emplace(group, d.displayId).second)
        << "a second operator display in " << group;
    EXPECT_NE(OperatorLabelOf(*display), nullptr)
        << "display " << d.displayId << " is not the one beside its group's 工号";
  }
  // Each group of the window, and each that shows a route, has its operator.
  for (const DlgControl& c : MainDialogTemplate()) {
    if (c.kind == ControlKind::GroupBox) {
      EXPECT_EQ(operatorOfGroup.count(c.text), 1u) << c.text;
    }
  }
  for (const ResultRoute& r : Routes())
    EXPECT_EQ(operatorOfGroup.count(GroupCaptionOf(r.displayId)), 1u) << r.itemCode;
}

#if defined(BRENNA_STATION_GUIDE)
// The part of the station guide the build generates from these tables.
std::string GuideItemsBlock() {
  std::ifstream in(BRENNA_STATION_GUIDE, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t begin = text.find("<!-- generated: items -->");
  const std::size_t end = text.find("<!-- end of generated: items -->");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
  return text.substr(begin, end - begin);
}

TEST(ResultRouting, TheStationGuideListsEveryRouteAndOperator) {
  const std::string block = GuideItemsBlock();
  ASSERT_FALSE(block.empty()) << BRENNA_STATION_GUIDE << ": no generated item table";
  for (const ResultRoute& r : Routes()) {
    const std::string row = "| " + std::to_string(r.itemCode) + " | " +
                            std::string(GroupCaptionOf(r.displayId)) + " | " +
                            std::to_string(r.displayId) + " |";
    EXPECT_NE(block.find(row), std::string::npos) << "the guide lacks " << row;
  }
  for (const DeviceOperator& d : kDeviceOperators) {
    const std::string row = "| " + std::to_string(d.deviceCode) + " | " +
                            std::string(GroupCaptionOf(d.displayId)) + " | " +
                            std::to_string(d.displayId) + " |";
    EXPECT_NE(block.find(row), std::string::npos) << "the guide lacks " << row;
  }
}
#endif

// libPallix's device table (which items each tester reports) and the
// routing agree both ways: each routed item belongs to the device whose
// operator display is in the item's group, and each item a device reports
// is routed into its group.
TEST(ResultRouting, LibPallixsDeviceTableReportsExactlyTheRoutedItemsOfEachGroup) {
  ASSERT_TRUE(LoadBuiltPallix());
  std::map<std::string_view, std::set<int>> routedInGroup, reportedInGroup;
  for (const ResultRoute& r : Routes()) {
    routedInGroup[GroupCaptionOf(r.displayId)].insert(r.itemCode);
    const int device = GetDevIDByItemID(r.itemCode);
    EXPECT_EQ(GroupCaptionOf(OperatorDisplayForDevice(device)), GroupCaptionOf(r.displayId))
        << "item " << r.itemCode << " of device " << device;
  }
  for (const DeviceOperator& d : kDeviceOperators) {
    int items[200];  // GetItemIDByDevID's most (docs/pallix-exports.md)
    const int count = GetItemIDByDevID(d.deviceCode, items);
    ASSERT_GT(count, 0) << "device " << d.deviceCode;
    reportedInGroup[GroupCaptionOf(d.displayId)].insert(items, items + count);
  }
  UnloadPallix();
  EXPECT_EQ(reportedInGroup, routedInGroup);
}

TEST(ResultRouting, UnlistedCodesAndTheInnerLowBeamCellsHaveNoRoute) {
  for (int code : {4999, 5002, 5003, 5007, 5077, 5101, 5115, 5130, 5186, 7700, 7701, 0, -5000})
    EXPECT_EQ(FindRoute(code), nullptr) << code;
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i)
    for (int never : kUnfilledCells) EXPECT_NE(routes[i].displayId, never);
}

TEST(ResultRouting, DeviceCodesWithoutAGroupHaveNoOperatorDisplay) {
  for (int other : {0, 1, 4, 9, 24, 26, -3}) EXPECT_EQ(OperatorDisplayForDevice(other), 0);
}

// The four-colour scheme draws each verdict in its colour, the two-colour
// scheme only passed and veto, the presence scheme any judge code above 0
// as not judged; a judge code no verdict has looks empty (white).
TEST(ResultRouting, JudgeColours) {
  const COLORREF white = RGB(255, 255, 255), notJudged = LookOf(Verdict::kNotJudged).color;
  int above = 0;
  for (const VerdictLook& v : kVerdicts) {
    SCOPED_TRACE(v.legendText);
    EXPECT_EQ(JudgeColor(F, v.judgeCode), v.color);
    const bool twoColour = v.verdict == Verdict::kPassed || v.verdict == Verdict::kVeto;
    EXPECT_EQ(JudgeColor(T, v.judgeCode), twoColour ? v.color : white);
    EXPECT_EQ(JudgeColor(P, v.judgeCode), notJudged);
    above = std::max(above, v.judgeCode + 1);
  }
  for (int judge : {-1, 0, above, 1000}) {
    SCOPED_TRACE(judge);
    EXPECT_EQ(JudgeColor(F, judge), white);
    EXPECT_EQ(JudgeColor(T, judge), white);
    EXPECT_EQ(JudgeColor(P, judge), judge > 0 ? notJudged : white);
  }
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
