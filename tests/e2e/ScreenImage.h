// ScreenImage - the pixels of a saved screenshot, read back through
// ImageMagick (PNG to binary PPM), for checks of what the screen showed.
#ifndef BRENNA_E2E_SCREENIMAGE_H
#define BRENNA_E2E_SCREENIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "VirtualDisplay.h"

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

class ScreenImage {
 public:
  // Reads pngPath; false with the reason in *error.
  bool Load(const std::string& pngPath, const std::string& scratchDir, std::string* error);

  int width() const { return m_width; }
  int height() const { return m_height; }
  Rgb Pixel(int x, int y) const;
  // Pixels of exactly this colour inside the box (clipped to the image).
  int Count(const ScreenBox& box, Rgb color) const;
  // The smallest box around those pixels; empty when there are none.
  ScreenBox Extent(const ScreenBox& box, Rgb color) const;

 private:
  int m_width = 0;
  int m_height = 0;
  std::vector<uint8_t> m_rgb;
};

std::string ToString(Rgb c);

#endif  // BRENNA_E2E_SCREENIMAGE_H
