// DialogTemplate - a dialog as data: its caption, size, font and styles, and
// every control with kind, identifier, text, rectangle and style, in
// template order (which is also the tab and z-order). Rectangles are in
// dialog units; DluToPixels turns them into pixels for the 9 pt dialog font.
//
// Qt-free so the tables and the arithmetic are tested without a window.
// Texts are UTF-8: they go from the table straight to the widgets.
#ifndef BRENNA_PANEL_DIALOGTEMPLATE_H
#define BRENNA_PANEL_DIALOGTEMPLATE_H

#include <cstddef>
#include <cstdint>

#include "util/Rect.h"

// Window and control styles, with the values the templates were designed
// with, so a table row reads like its resource line.
namespace dlgstyle {
inline constexpr std::uint32_t kPopup = 0x80000000;
inline constexpr std::uint32_t kChild = 0x40000000;
inline constexpr std::uint32_t kVisible = 0x10000000;
inline constexpr std::uint32_t kDisabled = 0x08000000;
inline constexpr std::uint32_t kCaption = 0x00C00000;
inline constexpr std::uint32_t kBorder = 0x00800000;
inline constexpr std::uint32_t kSysMenu = 0x00080000;
inline constexpr std::uint32_t kGroup = 0x00020000;
inline constexpr std::uint32_t kTabStop = 0x00010000;
inline constexpr std::uint32_t kMinimizeBox =
    0x00020000;  // same bit as kGroup: top-level windows only
inline constexpr std::uint32_t kMaximizeBox =
    0x00010000;  // same bit as kTabStop: top-level windows only
inline constexpr std::uint32_t kThickFrame = 0x00040000;
inline constexpr std::uint32_t kModalFrame = 0x00000080;
inline constexpr std::uint32_t kSetFont = 0x00000040;
inline constexpr std::uint32_t kExAppWindow = 0x00040000;

inline constexpr std::uint32_t kPushButton = 0x0;
inline constexpr std::uint32_t kDefPushButton = 0x1;
inline constexpr std::uint32_t kGroupBox = 0x7;
inline constexpr std::uint32_t kFlat = 0x8000;

inline constexpr std::uint32_t kLeft = 0x0;
inline constexpr std::uint32_t kCenter = 0x1;  // statics and edit fields alike
inline constexpr std::uint32_t kIcon = 0x3;
inline constexpr std::uint32_t kNoPrefix = 0x80;
inline constexpr std::uint32_t kAutoHScroll = 0x80;  // same bit as kNoPrefix: edit fields only
inline constexpr std::uint32_t kCenterImage = 0x200;
inline constexpr std::uint32_t kStaticTypeMask = 0x1F;
}  // namespace dlgstyle

enum class ControlKind {
  GroupBox,       // framed group title
  Label,          // static text
  VerdictPanel,   // static text in a fixed legend colour
  CommandButton,  // push button
  ValueDisplay,   // self-painting value display
  Icon,           // static picture of an icon resource
  Edit,           // single-line text entry
};

// x, y, width, height in dialog units.
struct DluRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

struct DlgControl {
  ControlKind kind;
  int id;            // IDC_STATIC (-1) for labels, group boxes and icons
  const char* text;  // UTF-8; empty for value displays
  DluRect rect;
  std::uint32_t style;  // including kChild | kVisible
  int image = 0;        // icon resource of an Icon control
};

struct DlgTemplate {
  int id;
  const char* caption;  // UTF-8
  DluRect rect;         // client area
  int fontPointSize;
  const char* fontFace;  // UTF-8
  std::uint32_t style;
  std::uint32_t exStyle;
  const DlgControl* controls;
  std::size_t count;

  const DlgControl* begin() const { return controls; }
  const DlgControl* end() const { return controls + count; }
};

// Dialog units to pixels: four horizontal units are one average character
// (6 px) of the dialog font, eight vertical units one character height
// (12 px). Rounded half away from zero, as the window system maps them.
int DluToPixelsX(int dlu);
int DluToPixelsY(int dlu);
// Converts the edges, not the sizes, so that controls that touch in dialog
// units still touch in pixels.
CRect DluToPixels(const DluRect& rc);

// The control with this identifier, or null. Never matches IDC_STATIC.
const DlgControl* FindControl(const DlgTemplate& tpl, int id);
// Position of the control in template order, or -1.
int ControlIndex(const DlgTemplate& tpl, int id);

#endif  // BRENNA_PANEL_DIALOGTEMPLATE_H
