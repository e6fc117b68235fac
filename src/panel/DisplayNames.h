// DisplayNames - what each value display of the window shows, in the words
// of the headings around it: "二轴 差" for the brake grid's difference of
// axle 2, "左外灯 远光上下", "工号" beside each group's operator. Lists, CSV
// files and the day's report name a value by the display it went to, so a
// spreadsheet and the window speak of the same cell.
#ifndef BRENNA_PANEL_DISPLAYNAMES_H
#define BRENNA_PANEL_DISPLAYNAMES_H

#include <cstddef>
#include <iterator>

#include "panel/ValueDisplayIds.h"

struct DisplayName {
  int displayId;
  const char* name;  // UTF-8
};

// Every value display, in the order of kValueDisplayIds.
inline constexpr DisplayName kDisplayNames[] = {
    {1018, "工号"},
    {1019, "速度校验测试值"},
    {1020, "速度校验误差值"},
    {1021, "工号"},
    {1024, "不透光烟度一次值"},
    {1052, "不透光烟度二次值"},
    {1056, "不透光烟度三次值"},
    {1064, "不透光烟度平均值"},
    {1065, "工号"},
    {1066, "高怠速CO"},
    {1067, "高怠速HC"},
    {1068, "过量空气系数"},
    {1069, "怠速CO"},
    {1070, "怠速HC"},
    {1072, "工号"},
    {1073, "工号"},
    {1077, "侧滑测试值"},
    {1081, "声级测试值"},
    // Headlamp grid: lamp, then column.
    {1082, "左外灯 发光强度"},
    {1083, "左内灯 发光强度"},
    {1087, "右外灯 发光强度"},
    {1088, "右内灯 发光强度"},
    {1092, "左外灯 远光上下"},
    {1093, "左内灯 远光上下"},
    {1102, "右外灯 远光上下"},
    {1103, "右内灯 远光上下"},
    {1107, "左外灯 远光左右"},
    {1108, "左内灯 远光左右"},
    {1109, "右外灯 远光左右"},
    {1110, "右内灯 远光左右"},
    {1111, "左外灯 近光上下"},
    {1112, "左内灯 近光上下"},
    {1113, "右外灯 近光上下"},
    {1114, "右内灯 近光上下"},
    {1115, "左外灯 近光左右"},
    {1116, "左内灯 近光左右"},
    {1117, "右外灯 近光左右"},
    {1118, "右内灯 近光左右"},
    {1119, "工号"},
    // Brake grid: axle, then column.
    {1120, "一轴 左轮荷"},
    {1121, "二轴 左轮荷"},
    {1122, "三轴 左轮荷"},
    {1123, "一轴 右轮荷"},
    {1124, "二轴 右轮荷"},
    {1125, "三轴 右轮荷"},
    {1126, "一轴 左最大制动力"},
    {1127, "二轴 左最大制动力"},
    {1128, "三轴 左最大制动力"},
    {1129, "一轴 右最大制动力"},
    {1130, "二轴 右最大制动力"},
    {1131, "三轴 右最大制动力"},
    {1132, "一轴 左过程差"},
    {1133, "二轴 左过程差"},
    {1134, "三轴 左过程差"},
    {1135, "一轴 右过程差"},
    {1136, "二轴 右过程差"},
    {1137, "三轴 右过程差"},
    {1138, "一轴 和"},
    {1139, "二轴 和"},
    {1140, "三轴 和"},
    {1141, "一轴 差"},
    {1142, "二轴 差"},
    {1143, "三轴 差"},
    {1144, "一轴 左阻滞率"},
    {1145, "二轴 左阻滞率"},
    {1146, "三轴 左阻滞率"},
    {1147, "一轴 右阻滞率"},
    {1148, "二轴 右阻滞率"},
    {1149, "三轴 右阻滞率"},
    {1150, "一轴 协调时间"},
    {1151, "二轴 协调时间"},
    {1152, "三轴 协调时间"},
    {1153, "驻车 制动力"},
    {1154, "整车 制动力"},
    {1155, "驻车 和"},
    {1156, "整车 和"},
    {1157, "工号"},
};

// The name of a value display; "" for any other control.
constexpr const char* DisplayNameOf(int displayId) {
  const int at = ValueDisplayIndex(displayId);
  return at < 0 ? "" : kDisplayNames[at].name;
}

namespace display_names_detail {
constexpr bool OnePerDisplay() {
  if (std::size(kDisplayNames) != std::size(kValueDisplayIds)) return false;
  for (std::size_t i = 0; i < std::size(kDisplayNames); ++i)
    if (kDisplayNames[i].displayId != kValueDisplayIds[i] || kDisplayNames[i].name[0] == '\0')
      return false;
  return true;
}
}  // namespace display_names_detail
static_assert(display_names_detail::OnePerDisplay(),
              "every value display has a name, in the order of panel/ValueDisplayIds.h");

#endif  // BRENNA_PANEL_DISPLAYNAMES_H
