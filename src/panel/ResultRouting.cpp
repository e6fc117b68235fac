#include "panel/ResultRouting.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>

#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"
#include "util/TextNumber.h"

namespace {

constexpr ColorScheme F = ColorScheme::kFourColour;
constexpr ColorScheme T = ColorScheme::kTwoColour;
constexpr ColorScheme P = ColorScheme::kPresence;
constexpr ValueFormat AS = ValueFormat::kAsReceived;
constexpr ValueFormat TEN = ValueFormat::kTenths;
constexpr ValueFormat THOU = ValueFormat::kThousandths;

constexpr ResultRoute kRoutes[] = {
    // Speed tester.
    {5000, 1019, F, AS},
    {5001, 1020, F, AS},
    // Opacity smoke meter: three readings, then the average.
    {5008, 1024, P, AS},
    {5009, 1052, P, AS},
    {5010, 1056, P, AS},
    {5012, 1064, F, AS},
    // Two-speed idle exhaust analyser.
    {5028, 1066, F, AS},
    {5029, 1067, F, AS},
    {5033, 1068, F, AS},
    {5018, 1069, F, AS},
    {5019, 1070, F, AS},
    // Side-slip and sound level.
    {5142, 1077, F, AS},
    {5139, 1081, F, AS},
    // Headlamps: intensity in kcd (received in cd), then the offsets.
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
    // Brake: axle loads, then forces in units of 10 N.
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
    {5136, 1154, P, TEN},
    // Brake: sums, differences, drag rates and time.
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

// Routed codes lie in this range; a direct index over it keeps the
// per-item lookup constant whatever the record's size. A route outside it
// does not compile: widen the range instead.
constexpr int kFirstCode = 5000;
constexpr int kLastCode = 5185;

// Every route is checked while the program compiles: in the range, one
// route per item code, one item per display, and every display a value
// display of the window that is not an operator display (those show the
// operator number of their device).
constexpr bool CodesInRange() {
  for (const ResultRoute& r : kRoutes)
    if (r.itemCode < kFirstCode || r.itemCode > kLastCode) return false;
  return true;
}
constexpr bool CodesUnique() {
  for (std::size_t i = 0; i < std::size(kRoutes); ++i)
    for (std::size_t j = i + 1; j < std::size(kRoutes); ++j)
      if (kRoutes[i].itemCode == kRoutes[j].itemCode) return false;
  return true;
}
constexpr bool DisplaysUnique() {
  for (std::size_t i = 0; i < std::size(kRoutes); ++i)
    for (std::size_t j = i + 1; j < std::size(kRoutes); ++j)
      if (kRoutes[i].displayId == kRoutes[j].displayId) return false;
  return true;
}
constexpr bool DisplaysAreMeasurementDisplays() {
  for (const ResultRoute& r : kRoutes)
    if (!IsValueDisplayId(r.displayId) || IsOperatorDisplay(r.displayId)) return false;
  return true;
}
constexpr bool OperatorsAreValueDisplays() {
  for (std::size_t i = 0; i < std::size(kDeviceOperators); ++i) {
    if (!IsValueDisplayId(kDeviceOperators[i].displayId)) return false;
    for (std::size_t j = i + 1; j < std::size(kDeviceOperators); ++j)
      if (kDeviceOperators[i].deviceCode == kDeviceOperators[j].deviceCode ||
          kDeviceOperators[i].displayId == kDeviceOperators[j].displayId)
        return false;
  }
  return true;
}
static_assert(CodesInRange(), "a route's item code lies outside kFirstCode..kLastCode");
static_assert(CodesUnique(), "an item code is routed twice");
static_assert(DisplaysUnique(), "a display receives two item codes");
static_assert(DisplaysAreMeasurementDisplays(),
              "a route names no value display of the window, or an operator display");
static_assert(OperatorsAreValueDisplays(),
              "a device's operator display is no value display, or is given twice");

using RouteIndex = std::array<const ResultRoute*, kLastCode - kFirstCode + 1>;

constexpr RouteIndex BuildIndex() {
  RouteIndex index{};
  for (const ResultRoute& r : kRoutes)
    index[static_cast<std::size_t>(r.itemCode - kFirstCode)] = &r;
  return index;
}

constexpr RouteIndex kIndex = BuildIndex();

}  // namespace

const ResultRoute* ResultRoutes(int* count) {
  *count = static_cast<int>(std::size(kRoutes));
  return kRoutes;
}

const ResultRoute* FindRoute(int itemCode) {
  if (itemCode < kFirstCode || itemCode > kLastCode) return nullptr;
  return kIndex[static_cast<std::size_t>(itemCode - kFirstCode)];
}

int OperatorDisplayForDevice(int deviceCode) {
  for (const DeviceOperator& d : kDeviceOperators)
    if (d.deviceCode == deviceCode) return d.displayId;
  return 0;
}

const VerdictLook* ShownVerdict(ColorScheme scheme, int judge) {
  const VerdictLook* verdict = VerdictOfJudge(judge);
  switch (scheme) {
    case ColorScheme::kFourColour:
      return verdict;
    case ColorScheme::kTwoColour:
      return verdict != nullptr &&
                     (verdict->verdict == Verdict::kPassed || verdict->verdict == Verdict::kVeto)
                 ? verdict
                 : nullptr;
    case ColorScheme::kPresence:
      // A value shown for being there, whatever its judge code says.
      return judge > 0 ? &LookOf(Verdict::kNotJudged) : nullptr;
  }
  return nullptr;
}

COLORREF JudgeColor(ColorScheme scheme, int judge) {
  const VerdictLook* shown = ShownVerdict(scheme, judge);
  return shown != nullptr ? shown->color : kNoVerdictColor;
}

std::string FormatValue(ValueFormat format, const std::string& value) {
  int divisor = 1;
  switch (format) {
    case ValueFormat::kAsReceived:
      return value;
    case ValueFormat::kTenths:
      divisor = 10;
      break;
    case ValueFormat::kThousandths:
      divisor = 1000;
      break;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d", ParseLeadingInt(value) / divisor);
  return text;
}
