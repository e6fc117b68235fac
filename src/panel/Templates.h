// Templates - the program's resources as data: the main window (102), the
// about box (100), the string table and the application icon (128).
#ifndef BRENNA_PANEL_TEMPLATES_H
#define BRENNA_PANEL_TEMPLATES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "panel/DialogTemplate.h"
#include "util/Colors.h"

// Template 102: seven device groups, the verdict legend, two buttons.
const DlgTemplate& MainDialogTemplate();
// The caption (UTF-8) of the main window's device group whose frame holds
// the control: "制动设备" for a brake display; empty when no group does.
std::string_view GroupCaptionOf(int controlId);
// The same for a rectangle of the main window (a label's, which has no ID
// of its own).
std::string_view GroupCaptionAt(const DluRect& rect);

// The main window's title once `count` results are shown: the caption with
// the count, "数据监控(7)"; the caption alone for a count below 0 (none
// counted yet). The caption is template 102's (UTF-8) unless one is given:
// the monitor's is the library's translation of it (GBK).
std::string WindowTitle(int count);
std::string WindowTitle(const std::string& caption, int count);

// Template 100: icon, two text lines, OK.
const DlgTemplate& AboutDialogTemplate();

// A text of the string table (UTF-8); empty when there is none.
std::string_view LoadResString(int id);

// A small palette image: rows of characters, one per pixel, each naming a
// palette entry; kTransparent marks pixels that show what lies behind.
struct IconImage {
  static constexpr char kTransparent = ' ';
  struct Entry {
    char key;
    COLORREF color;
  };
  int width;
  int height;
  const Entry* palette;
  int paletteSize;
  const char* const* rows;

  // The colour of pixel (x, y); false for transparent or out-of-range pixels
  // and for characters missing from the palette.
  bool PixelColor(int x, int y, COLORREF* color) const;
};

// Icon 128, the program's own 32 x 32, 16-colour picture; null for any other
// identifier.
const IconImage* LoadIconResource(int id);

#endif  // BRENNA_PANEL_TEMPLATES_H
