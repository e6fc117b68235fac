#include "ScreenImage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ChildProcess.h"
#include "TempDir.h"

namespace {

// The next decimal number of a PPM header, skipping blanks and comments.
bool HeaderNumber(const std::string& data, size_t* pos, int* value) {
  while (*pos < data.size()) {
    const char c = data[*pos];
    if (c == '#') {
      while (*pos < data.size() && data[*pos] != '\n') ++*pos;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++*pos;
    } else {
      break;
    }
  }
  const size_t start = *pos;
  long v = 0;
  while (*pos < data.size() && std::isdigit(static_cast<unsigned char>(data[*pos])) &&
         v < 1000000) {
    v = v * 10 + (data[*pos] - '0');
    ++*pos;
  }
  *value = static_cast<int>(v);
  return *pos > start;
}

}  // namespace

bool ScreenImage::Load(const std::string& pngPath, const std::string& scratchDir,
                       std::string* error) {
  const std::string ppm = scratchDir + "/screen.ppm";
  std::string how;
  // ImageMagick's own convert, by path: another one may come first in PATH.
  if (RunToEnd({"/usr/bin/convert", pngPath, "-depth", "8", "ppm:" + ppm}, {},
               std::chrono::seconds(30), &how) != 0) {
    *error = "convert: " + how;
    return false;
  }
  const std::string data = ReadFileBytes(ppm);
  std::remove(ppm.c_str());
  size_t pos = 2;
  int maxValue = 0;
  if (data.compare(0, 2, "P6") != 0 || !HeaderNumber(data, &pos, &m_width) ||
      !HeaderNumber(data, &pos, &m_height) || !HeaderNumber(data, &pos, &maxValue) ||
      maxValue != 255) {
    *error = "not an 8-bit PPM image";
    return false;
  }
  ++pos;  // the one blank after the header
  const size_t size = static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 3;
  if (data.size() < pos + size) {
    *error = "short PPM image";
    return false;
  }
  m_rgb.assign(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + size));
  return true;
}

Rgb ScreenImage::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return Rgb{};
  const size_t i =
      (static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)) * 3;
  return Rgb{m_rgb[i], m_rgb[i + 1], m_rgb[i + 2]};
}

int ScreenImage::Count(const ScreenBox& box, Rgb color) const {
  int n = 0;
  const int x0 = std::max(0, box.x), y0 = std::max(0, box.y);
  const int x1 = std::min(m_width, box.x + box.width), y1 = std::min(m_height, box.y + box.height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += Pixel(x, y) == color ? 1 : 0;
  return n;
}

ScreenBox ScreenImage::Extent(const ScreenBox& box, Rgb color) const {
  int left = m_width, top = m_height, right = -1, bottom = -1;
  const int x0 = std::max(0, box.x), y0 = std::max(0, box.y);
  const int x1 = std::min(m_width, box.x + box.width), y1 = std::min(m_height, box.y + box.height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (Pixel(x, y) == color) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  if (right < 0) return ScreenBox{};
  return ScreenBox{left, top, right - left + 1, bottom - top + 1};
}

std::string ToString(Rgb c) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d,%d,%d)", c.r, c.g, c.b);
  return text;
}
