// The about box (template 100), the string table and icon 128.
#include "panel/Resource.h"
#include "panel/Templates.h"
#include "util/Colors.h"

namespace {

using namespace dlgstyle;

const DlgControl kAboutControls[] = {
    {ControlKind::Icon, IDC_STATIC, "", {11, 17, 20, 20}, kChild | kVisible | kIcon, IDR_MAINFRAME},
    {ControlKind::Label,
     IDC_STATIC,
     "BrennaCenter 1.0 版",
     {40, 10, 119, 8},
     kChild | kVisible | kLeft | kNoPrefix | kGroup},
    {ControlKind::Label,
     IDC_STATIC,
     "检测线检测结果实时监控",
     {40, 25, 119, 8},
     kChild | kVisible | kLeft | kGroup},
    {ControlKind::CommandButton,
     dlgid::kOk,
     "确定",
     {178, 7, 50, 14},
     kChild | kVisible | kDefPushButton | kGroup | kTabStop},
};

const DlgTemplate kAboutTemplate = {
    IDD_ABOUTBOX,
    "关于 BrennaCenter",
    {0, 0, 235, 55},
    9,
    "宋体",
    kPopup | kCaption | kSysMenu | kModalFrame | kSetFont,
    0,
    kAboutControls,
    sizeof(kAboutControls) / sizeof(kAboutControls[0]),
};

// A monitor showing the verdict legend: red, blue, green and black tiles.
const IconImage::Entry kIconPalette[] = {
    {'k', RGB(0, 0, 0)},       {'w', RGB(255, 255, 255)}, {'g', RGB(192, 192, 192)},
    {'d', RGB(128, 128, 128)}, {'r', RGB(255, 0, 0)},     {'b', RGB(0, 0, 255)},
    {'G', RGB(0, 255, 0)},
};

const char* const kIconRows[] = {
    "                                ", "                                ",
    " kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk ", " kwwwwwwwwwwwwwwwwwwwwwwwwwwwgk ",
    " kgddddddddddddddddddddddddddgk ", " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ",
    " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ", " kgdwwrrrrrrrrrwwbbbbbbbbbwwdgk ",
    " kgdwwrrrrrrrrrwwbbbbbbbbbwwdgk ", " kgdwwrrrrrrrrrwwbbbbbbbbbwwdgk ",
    " kgdwwrrrrrrrrrwwbbbbbbbbbwwdgk ", " kgdwwrrrrrrrrrwwbbbbbbbbbwwdgk ",
    " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ", " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ",
    " kgdwwGGGGGGGGGwwkkkkkkkkkwwdgk ", " kgdwwGGGGGGGGGwwkkkkkkkkkwwdgk ",
    " kgdwwGGGGGGGGGwwkkkkkkkkkwwdgk ", " kgdwwGGGGGGGGGwwkkkkkkkkkwwdgk ",
    " kgdwwGGGGGGGGGwwkkkkkkkkkwwdgk ", " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ",
    " kgdwwwwwwwwwwwwwwwwwwwwwwwwdgk ", " kgddddddddddddddddddddddddddgk ",
    " kggggggggggggggggggggggggGgggk ", " kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk ",
    "            kddddddk            ", "            kddddddk            ",
    "            kddddddk            ", "       kggggggggggggggggk       ",
    "       kddddddddddddddddk       ", "       kkkkkkkkkkkkkkkkkk       ",
    "                                ", "                                ",
};

const IconImage kAppIcon = {
    32, 32, kIconPalette, sizeof(kIconPalette) / sizeof(kIconPalette[0]), kIconRows,
};

}  // namespace

const DlgTemplate& AboutDialogTemplate() { return kAboutTemplate; }

std::string_view LoadResString(int id) {
  if (id == IDS_ABOUTBOX) return "关于 BrennaCenter(&A)...";
  return {};
}

const IconImage* LoadIconResource(int id) { return id == IDR_MAINFRAME ? &kAppIcon : nullptr; }

bool IconImage::PixelColor(int x, int y, COLORREF* color) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const char key = rows[y][x];
  if (key == kTransparent) return false;
  for (int i = 0; i < paletteSize; ++i) {
    if (palette[i].key == key) {
      if (color != nullptr) *color = palette[i].color;
      return true;
    }
  }
  return false;
}
