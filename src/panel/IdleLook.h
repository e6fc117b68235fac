// IdleLook - what the operator displays show before their device's first
// result: "设备空闲" in red on white, on each of the seven, in the order the
// network worker resets them when its queue starts. The archive keeps the
// same as the window's state at start; the web view shows it for a run
// that has shown nothing yet.
#ifndef BRENNA_PANEL_IDLELOOK_H
#define BRENNA_PANEL_IDLELOOK_H

#include <iterator>
#include <string>

#include "panel/ResultRouting.h"
#include "util/Colors.h"

// The operator displays, one per device group, in the order they are reset:
// the displays of the routing's device table, each once (checked in
// IdleLook.cpp when it compiles).
constexpr int kOperatorDisplays[std::size(kDeviceOperators)] = {1018, 1021, 1065, 1072,
                                                                1073, 1157, 1119};

// The idle text, "设备空闲" (GBK), and its colours.
const std::string& IdleStateText();
inline constexpr COLORREF kIdleTextColor = kColorRed;
inline constexpr COLORREF kIdleBackground = kColorWhite;

#endif  // BRENNA_PANEL_IDLELOOK_H
