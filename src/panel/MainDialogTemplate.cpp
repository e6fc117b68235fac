// Template 102, the monitoring window, as one table in template order:
// the group boxes, button 1016, the labels group by group, the 77 value
// displays in ascending identifier order, the verdict panels (made from the
// verdict table, in its order), and button 1017 last. 1016 comes before
// every other tab stop, so it takes the focus first.
#include <array>
#include <iterator>
#include <string>

#include "panel/Resource.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"

namespace {

using namespace dlgstyle;

constexpr std::uint32_t kStaticText = kChild | kVisible | kGroup | kCenterImage;

constexpr DlgControl Group(const char* text, int x, int y, int cx, int cy) {
  return {ControlKind::GroupBox, IDC_STATIC, text, {x, y, cx, cy}, kChild | kVisible | kGroupBox};
}
// Value headings: centred over their display.
constexpr DlgControl Heading(const char* text, int x, int y, int cx, int cy) {
  return {ControlKind::Label, IDC_STATIC, text, {x, y, cx, cy}, kStaticText | kCenter};
}
// "工号", "项    目" and the row headings: left aligned.
constexpr DlgControl Caption(const char* text, int x, int y, int cx, int cy) {
  return {ControlKind::Label, IDC_STATIC, text, {x, y, cx, cy}, kStaticText | kLeft};
}
constexpr DlgControl Button(int id, const char* text, int x, int y, int cx, int cy) {
  return {ControlKind::CommandButton,
          id,
          text,
          {x, y, cx, cy},
          kChild | kVisible | kTabStop | kPushButton};
}
// A legend panel names its verdict, where the verdict table puts it.
constexpr DlgControl Panel(const VerdictLook& v) {
  return {ControlKind::VerdictPanel, v.panel.controlId, v.legendText, v.panel.rect,
          kStaticText | kCenter};
}
// Disabled flat buttons in the template; the window paints them itself.
constexpr DlgControl Display(int id, int x, int y, int cx, int cy) {
  return {ControlKind::ValueDisplay,
          id,
          "",
          {x, y, cx, cy},
          kChild | kVisible | kDisabled | kTabStop | kFlat};
}

constexpr DlgControl kBeforeLegend[] = {
    // Device groups.
    Group("不透光烟度设备", 4, 1, 326, 61),
    Group("双怠速废气设备", 3, 70, 326, 61),
    Group("速度设备", 4, 135, 326, 61),
    Group("侧滑设备", 4, 202, 326, 61),
    Group("声级设备", 3, 267, 326, 62),
    Group("灯光设备", 349, 201, 326, 129),
    Group("制动设备", 4, 334, 671, 173),

    Button(IDC_BTN_QUIT, "退出程序", 512, 0, 163, 66),

    // Operator number, one per group.
    Caption("工号", 68, 9, 17, 16),
    Caption("工号", 74, 78, 17, 16),
    Caption("工号", 69, 145, 17, 16),
    Caption("工号", 74, 210, 17, 16),
    Caption("工号", 73, 277, 17, 16),
    Caption("工号", 413, 211, 17, 16),
    Caption("工号", 241, 344, 17, 16),

    // Single-row groups.
    Heading("不透光烟度一次值", 9, 26, 65, 16),
    Heading("不透光烟度二次值", 93, 26, 65, 16),
    Heading("不透光烟度三次值", 178, 26, 65, 16),
    Heading("不透光烟度平均值", 260, 26, 65, 16),
    Heading("高怠速CO", 16, 94, 54, 16),
    Heading("高怠速HC", 78, 94, 54, 16),
    Heading("过量空气系数", 140, 94, 54, 16),
    Heading("怠速CO", 204, 94, 54, 16),
    Heading("怠速HC", 264, 94, 54, 16),
    Heading("速度校验测试值", 10, 161, 65, 16),
    Heading("速度校验误差值", 261, 161, 65, 16),
    Heading("侧滑测试值", 139, 228, 60, 16),
    Heading("声级测试值", 137, 294, 60, 16),

    // Headlamp grid.
    Caption("项    目", 358, 227, 30, 34),
    Heading("发光强度", 395, 227, 41, 16),
    Heading("远    光     偏    移", 444, 227, 108, 16),
    Heading("近    光     偏    移", 559, 227, 108, 16),
    Heading("kcd", 395, 243, 41, 16),
    Heading("上下(H)", 451, 243, 41, 16),
    Heading("左右(cm/10m)", 504, 243, 48, 16),
    Heading("上下(H)", 566, 243, 41, 16),
    Heading("左右(cm/10m)", 619, 243, 48, 16),
    Caption("左 外 灯", 358, 259, 30, 16),
    Caption("左 内 灯", 358, 277, 30, 16),
    Caption("右 外 灯", 358, 294, 30, 16),
    Caption("右 内 灯", 358, 310, 30, 16),

    // Brake grid.
    Caption("项    目", 14, 364, 30, 34),
    Heading("轴(轮)荷(kg)", 50, 364, 103, 16),
    Heading("最大制动力", 161, 364, 103, 16),
    Heading("过程差最大差值点", 272, 364, 103, 16),
    Heading("和", 382, 364, 52, 16),
    Heading("差", 442, 364, 52, 16),
    Heading("左阻滞率", 503, 364, 52, 16),
    Heading("右阻滞率", 563, 364, 52, 16),
    Heading("协调时间", 623, 364, 48, 16),
    Heading("左", 55, 384, 41, 16),
    Heading("右", 105, 384, 41, 16),
    Heading("左  X10N", 162, 384, 48, 16),
    Heading("右  X10N", 219, 384, 41, 16),
    Heading("左  X10N", 275, 384, 48, 16),
    Heading("右  X10N", 331, 384, 41, 16),
    Heading("(%)", 382, 384, 52, 16),
    Heading("(%)", 442, 384, 52, 16),
    Heading("(%)", 503, 384, 52, 16),
    Heading("(%)", 563, 384, 52, 16),
    Heading("(s)", 623, 384, 48, 16),
    Caption("一   轴", 14, 407, 30, 16),
    Caption("二   轴", 14, 426, 30, 16),
    Caption("三   轴", 14, 445, 30, 16),
    Caption("驻   车", 14, 465, 30, 16),
    Caption("整   车", 14, 484, 30, 16),

    // Value displays. Operator displays are 208 wide (1065: 149); brake
    // cells are 44 x 18; all others 41 x 16.
    Display(1018, 97, 145, 208, 16),  // speed: operator
    Display(1019, 22, 177, 41, 16),   // speed: test value
    Display(1020, 273, 177, 41, 16),  // speed: error
    Display(1021, 96, 9, 208, 16),    // opacity smoke: operator
    Display(1024, 21, 42, 41, 16),    // opacity smoke: first .. average
    Display(1052, 106, 42, 41, 16),
    Display(1056, 190, 42, 41, 16),
    Display(1064, 273, 42, 41, 16),
    Display(1065, 106, 78, 149, 16),  // idle exhaust: operator
    Display(1066, 22, 110, 41, 16),   // idle exhaust: high idle CO .. idle HC
    Display(1067, 84, 110, 41, 16),
    Display(1068, 147, 110, 41, 16),
    Display(1069, 215, 110, 41, 16),
    Display(1070, 274, 110, 41, 16),
    Display(1072, 106, 210, 208, 16),  // side-slip: operator
    Display(1073, 105, 277, 208, 16),  // sound level: operator
    Display(1077, 147, 244, 41, 16),   // side-slip: test value
    Display(1081, 146, 310, 41, 16),   // sound level: test value
    // Headlamp grid: columns intensity, high beam up/down, high beam
    // left/right, low beam up/down, low beam left/right; rows left outer,
    // left inner, right outer, right inner.
    Display(1082, 395, 260, 41, 16),
    Display(1083, 395, 277, 41, 16),
    Display(1087, 395, 294, 41, 16),
    Display(1088, 395, 310, 41, 16),
    Display(1092, 453, 260, 41, 16),
    Display(1093, 453, 277, 41, 16),
    Display(1102, 453, 294, 41, 16),
    Display(1103, 453, 310, 41, 16),
    Display(1107, 508, 260, 41, 16),
    Display(1108, 508, 277, 41, 16),
    Display(1109, 508, 294, 41, 16),
    Display(1110, 508, 310, 41, 16),
    Display(1111, 568, 260, 41, 16),
    Display(1112, 568, 277, 41, 16),
    Display(1113, 568, 294, 41, 16),
    Display(1114, 568, 310, 41, 16),
    Display(1115, 622, 260, 41, 16),
    Display(1116, 622, 277, 41, 16),
    Display(1117, 622, 294, 41, 16),
    Display(1118, 622, 310, 41, 16),
    Display(1119, 270, 344, 208, 16),  // brake: operator
    // Brake grid: three displays per column (axles one to three), eleven
    // columns from axle load left to coordination time. 1121 sits one unit
    // higher than its row.
    Display(1120, 54, 407, 44, 18),
    Display(1121, 54, 426, 44, 18),
    Display(1122, 54, 445, 44, 18),
    Display(1123, 104, 407, 44, 18),
    Display(1124, 104, 427, 44, 18),
    Display(1125, 104, 445, 44, 18),
    Display(1126, 165, 407, 44, 18),
    Display(1127, 165, 427, 44, 18),
    Display(1128, 165, 445, 44, 18),
    Display(1129, 219, 407, 44, 18),
    Display(1130, 219, 427, 44, 18),
    Display(1131, 219, 445, 44, 18),
    Display(1132, 277, 407, 44, 18),
    Display(1133, 277, 427, 44, 18),
    Display(1134, 277, 445, 44, 18),
    Display(1135, 331, 407, 44, 18),
    Display(1136, 331, 427, 44, 18),
    Display(1137, 331, 445, 44, 18),
    Display(1138, 387, 407, 44, 18),
    Display(1139, 387, 427, 44, 18),
    Display(1140, 387, 445, 44, 18),
    Display(1141, 446, 407, 44, 18),
    Display(1142, 446, 427, 44, 18),
    Display(1143, 446, 445, 44, 18),
    Display(1144, 508, 407, 44, 18),
    Display(1145, 508, 427, 44, 18),
    Display(1146, 508, 445, 44, 18),
    Display(1147, 568, 407, 44, 18),
    Display(1148, 568, 427, 44, 18),
    Display(1149, 568, 445, 44, 18),
    Display(1150, 626, 407, 44, 18),
    Display(1151, 626, 427, 44, 18),
    Display(1152, 626, 445, 44, 18),
    Display(1153, 193, 465, 44, 18),  // parking brake: force, sum
    Display(1154, 193, 484, 44, 18),  // whole vehicle: force, sum
    Display(1155, 387, 465, 44, 18),
    Display(1156, 387, 485, 44, 18),
    // Headlamp: operator.
    Display(1157, 440, 211, 208, 16),
};

constexpr DlgControl kAfterLegend[] = {
    Button(IDC_BTN_PORTSET, "端口设置", 349, 0, 163, 66),
};

// The controls before the legend, its panels, the controls after it.
constexpr auto WithLegend() {
  std::array<DlgControl, std::size(kBeforeLegend) + std::size(kVerdicts) + std::size(kAfterLegend)>
      all{};
  std::size_t n = 0;
  for (const DlgControl& c : kBeforeLegend) all[n++] = c;
  for (const VerdictLook& v : kVerdicts) all[n++] = Panel(v);
  for (const DlgControl& c : kAfterLegend) all[n++] = c;
  return all;
}
constexpr auto kMainControls = WithLegend();

// The template's value displays are exactly the known ones, in the same
// (ascending) order, so every ID the routing and the window use exists.
constexpr bool DisplaysAreTheValueDisplays() {
  std::size_t n = 0;
  for (const DlgControl& c : kMainControls) {
    if (c.kind != ControlKind::ValueDisplay) continue;
    if (n == std::size(kValueDisplayIds) || c.id != kValueDisplayIds[n]) return false;
    ++n;
  }
  return n == std::size(kValueDisplayIds);
}
static_assert(DisplaysAreTheValueDisplays(),
              "the template's value displays differ from panel/ValueDisplayIds.h");

const DlgTemplate kMainTemplate = {
    IDD_BRENNACENTER_DIALOG,
    "数据监控",
    {0, 0, 677, 509},
    9,
    "宋体",
    kPopup | kVisible | kCaption | kSysMenu | kMinimizeBox | kModalFrame | kSetFont,
    kExAppWindow,
    kMainControls.data(),
    kMainControls.size(),
};

}  // namespace

const DlgTemplate& MainDialogTemplate() { return kMainTemplate; }

std::string_view GroupCaptionOf(int controlId) {
  const DlgControl* control = FindControl(MainDialogTemplate(), controlId);
  return control == nullptr ? std::string_view() : GroupCaptionAt(control->rect);
}

std::string_view GroupCaptionAt(const DluRect& d) {
  for (const DlgControl& c : MainDialogTemplate()) {
    if (c.kind != ControlKind::GroupBox) continue;
    const DluRect& g = c.rect;
    if (d.x >= g.x && d.y >= g.y && d.x + d.cx <= g.x + g.cx && d.y + d.cy <= g.y + g.cy)
      return c.text;
  }
  return {};
}

std::string WindowTitle(int count) { return WindowTitle(MainDialogTemplate().caption, count); }

std::string WindowTitle(const std::string& caption, int count) {
  return count < 0 ? caption : caption + "(" + std::to_string(count) + ")";
}
