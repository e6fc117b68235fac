// DialogResource - an extended dialog template (DLGTEMPLATEEX) as it lies
// in a program's resources, read into data and written back: the window
// reads its templates from its own resources, and may give a template
// another font face before the dialog is made of it (a PC without the
// designed face). Bytes only, no window: tests read the program's
// resources with it too.
#ifndef BRENNA_WINAPP_DIALOGRESOURCE_H
#define BRENNA_WINAPP_DIALOGRESOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A name or a number: a window class, a menu, an icon control's picture.
struct SzOrOrd {
  bool isOrdinal = false;
  std::uint16_t ordinal = 0;
  std::u16string text;  // empty and not an ordinal: none
};

struct DialogItemResource {
  std::uint32_t helpId = 0;
  std::uint32_t exStyle = 0;
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::int32_t id = 0;
  SzOrOrd windowClass;  // ordinal 0x0080 Button, 0x0081 Edit, 0x0082 Static ...
  SzOrOrd title;
  std::vector<unsigned char> extra;
};

struct DialogResource {
  std::uint32_t helpId = 0;
  std::uint32_t exStyle = 0;
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  SzOrOrd menu;
  SzOrOrd windowClass;
  std::u16string title;
  // With DS_SETFONT (or DS_SHELLFONT) in style.
  std::uint16_t pointSize = 0;
  std::uint16_t weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t charset = 0;
  std::u16string typeface;
  std::vector<DialogItemResource> items;
};

// The predefined window classes a template names by number.
namespace dlgclass {
inline constexpr std::uint16_t kButton = 0x0080;
inline constexpr std::uint16_t kEdit = 0x0081;
inline constexpr std::uint16_t kStatic = 0x0082;
}  // namespace dlgclass

// Reads an extended template; false when the bytes are none (a plain
// DLGTEMPLATE, or cut short).
bool ParseDialogEx(const unsigned char* data, std::size_t size, DialogResource* dialog);
// The template's bytes, each item aligned on four bytes as the system reads
// them; the buffer's start must be so aligned where it is used.
std::vector<unsigned char> DialogExBytes(const DialogResource& dialog);

#endif  // BRENNA_WINAPP_DIALOGRESOURCE_H
