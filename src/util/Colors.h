// Colors - the colour values of the program: Windows COLORREF (0x00BBGGRR)
// and the five colours the window uses. The judge colours of the values,
// the legend, the idle text and the station guide all take them from here.
#ifndef BRENNA_UTIL_COLORS_H
#define BRENNA_UTIL_COLORS_H

#include <cstdint>

// The Windows window includes windows.h beside this header, which declares
// the same type (a DWORD) and the same macros: the type is then the very
// same, and whichever comes first defines RGB and its fellows.
#if defined(_WIN32)
using COLORREF = unsigned long;
static_assert(sizeof(COLORREF) == 4, "COLORREF is a 32-bit value");
#else
using COLORREF = std::uint32_t;
#endif

#ifndef RGB
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return static_cast<COLORREF>((r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16));
}
#endif
#ifndef GetRValue
constexpr unsigned GetRValue(COLORREF c) { return c & 0xff; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xff; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xff; }
#endif

constexpr COLORREF kColorRed = RGB(255, 0, 0);
constexpr COLORREF kColorBlue = RGB(0, 0, 255);
constexpr COLORREF kColorGreen = RGB(0, 255, 0);
constexpr COLORREF kColorBlack = RGB(0, 0, 0);
constexpr COLORREF kColorWhite = RGB(255, 255, 255);

#endif  // BRENNA_UTIL_COLORS_H
