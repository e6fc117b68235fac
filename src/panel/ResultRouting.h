// ResultRouting - which display shows which result item, in which colours
// and number format. The tables are data; the decoder only walks them.
#ifndef BRENNA_PANEL_RESULTROUTING_H
#define BRENNA_PANEL_RESULTROUTING_H

#include <string>

#include "util/Colors.h"

// Text colour by judge code, from the verdicts' colours (Verdicts.h).
enum class ColorScheme {
  kFourColour,  // every verdict: 1 passed blue, 2 veto red, 3 advisory green, 4 not judged black;
                // else white
  kTwoColour,   // passed and veto only: 1 blue, 2 red, else white
  kPresence     // judge > 0 in the colour of not judged (black), else white
};

enum class ValueFormat {
  kAsReceived,
  kTenths,      // leading integer / 10, truncated toward zero
  kThousandths  // leading integer / 1000, truncated toward zero
};

struct ResultRoute {
  int itemCode;
  int displayId;
  ColorScheme scheme;
  ValueFormat format;
};

// Which display shows the operator of a device's results.
struct DeviceOperator {
  int deviceCode;
  int displayId;
};

inline constexpr DeviceOperator kDeviceOperators[] = {
    {3, 1018}, {7, 1073}, {8, 1072}, {11, 1157}, {14, 1021}, {15, 1065}, {25, 1119},
};

// Whether the display shows a device group's operator.
constexpr bool IsOperatorDisplay(int displayId) {
  for (const DeviceOperator& d : kDeviceOperators)
    if (d.displayId == displayId) return true;
  return false;
}

// Information items of a record.
constexpr int kItemDeviceCode = 7700;
constexpr int kItemOperator = 7701;
constexpr int kItemOperatorAlt = 7708;

// The routed result items, in table order; *count receives how many.
const ResultRoute* ResultRoutes(int* count);
// The route of an item code, or null when the code is not shown.
const ResultRoute* FindRoute(int itemCode);

// The operator display of a device code, or 0 when the code names none.
int OperatorDisplayForDevice(int deviceCode);

struct VerdictLook;
// The verdict a value is shown with: the one its colour says in the
// legend. A scheme shows only some verdicts (the presence scheme draws
// every judged value in the colour of not judged); null when the value
// looks empty (white on the white display).
const VerdictLook* ShownVerdict(ColorScheme scheme, int judge);
// Its colour: the shown verdict's, or white.
COLORREF JudgeColor(ColorScheme scheme, int judge);
std::string FormatValue(ValueFormat format, const std::string& value);

#endif  // BRENNA_PANEL_RESULTROUTING_H
