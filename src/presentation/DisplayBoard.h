// DisplayBoard - how code without a window reaches the value displays.
//
// The worker tasks and the result decoder change a display only through
// SetColors and SetText, and find it by its control ID. The main window is
// the real board; tests use a recording fake.
#ifndef BRENNA_PRESENTATION_DISPLAYBOARD_H
#define BRENNA_PRESENTATION_DISPLAYBOARD_H

#include <cstdint>
#include <string>

// Windows colour value 0x00BBGGRR.
using COLORREF = std::uint32_t;

constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return static_cast<COLORREF>((r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16));
}
constexpr unsigned GetRValue(COLORREF c) { return c & 0xff; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xff; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xff; }

constexpr COLORREF kColorRed = RGB(255, 0, 0);
constexpr COLORREF kColorBlue = RGB(0, 0, 255);
constexpr COLORREF kColorGreen = RGB(0, 255, 0);
constexpr COLORREF kColorBlack = RGB(0, 0, 0);
constexpr COLORREF kColorWhite = RGB(255, 255, 255);

class IValueDisplay {
 public:
  virtual ~IValueDisplay() = default;
  // Stores both colours; nothing changes on the screen until SetText or a paint.
  virtual void SetColors(COLORREF background, COLORREF text) = 0;
  // Stores the text (GBK) and redraws at once. Safe from any thread.
  virtual void SetText(std::string text) = 0;
};

class IDisplayBoard {
 public:
  virtual ~IDisplayBoard() = default;
  // The value display with this control ID, or null when there is none.
  virtual IValueDisplay* ValueDisplay(int controlId) = 0;
};

#endif  // BRENNA_PRESENTATION_DISPLAYBOARD_H
