#include "winapp/resgen/IconFile.h"

#include <cstdint>
#include <vector>

namespace {

constexpr int kSide = 32;
constexpr int kColours = 16;
// Bytes of the header: the directory (6), one entry (16).
constexpr std::uint32_t kImageOffset = 6 + 16;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kColourRowBytes = kSide / 2;  // 4 bits a pixel
constexpr std::uint32_t kMaskRowBytes = 4;            // 1 bit a pixel, rows of whole DWORDs
constexpr std::uint32_t kImageSize =
    kInfoHeaderSize + kColours * 4 + (kColourRowBytes + kMaskRowBytes) * kSide;

void Put16(std::string* out, std::uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string IconFileBytes(const IconImage& image) {
  if (image.width != kSide || image.height != kSide || image.paletteSize > kColours - 1) return {};
  std::string out;
  // ICONDIR: reserved, type 1 (icon), one image.
  Put16(&out, 0);
  Put16(&out, 1);
  Put16(&out, 1);
  // ICONDIRENTRY: width, height, colours, reserved, planes, bits, size, offset.
  out.push_back(static_cast<char>(kSide));
  out.push_back(static_cast<char>(kSide));
  out.push_back(static_cast<char>(kColours));
  out.push_back(0);
  Put16(&out, 1);
  Put16(&out, 4);
  Put32(&out, kImageSize);
  Put32(&out, kImageOffset);
  // BITMAPINFOHEADER: the height counts the colour image and the mask.
  Put32(&out, kInfoHeaderSize);
  Put32(&out, kSide);
  Put32(&out, kSide * 2);
  Put16(&out, 1);
  Put16(&out, 4);
  Put32(&out, 0);  // BI_RGB
  Put32(&out, (kColourRowBytes + kMaskRowBytes) * kSide);
  Put32(&out, 0);
  Put32(&out, 0);
  Put32(&out, kColours);
  Put32(&out, 0);
  // The palette, blue-green-red-reserved; entry 0 stays black for the
  // transparent pixels, the image's colours follow.
  for (int i = 0; i < kColours; ++i) {
    const COLORREF c = i >= 1 && i <= image.paletteSize ? image.palette[i - 1].color : 0;
    out.push_back(static_cast<char>(GetBValue(c)));
    out.push_back(static_cast<char>(GetGValue(c)));
    out.push_back(static_cast<char>(GetRValue(c)));
    out.push_back(0);
  }
  auto paletteIndex = [&](int x, int y) {
    const char key = image.rows[y][x];
    for (int i = 0; i < image.paletteSize; ++i)
      if (image.palette[i].key == key) return i + 1;
    return 0;
  };
  // Rows from the bottom up: first the colours, then the mask (1:
  // transparent).
  for (int y = kSide - 1; y >= 0; --y) {
    for (int x = 0; x < kSide; x += 2) {
      const int left = image.PixelColor(x, y, nullptr) ? paletteIndex(x, y) : 0;
      const int right = image.PixelColor(x + 1, y, nullptr) ? paletteIndex(x + 1, y) : 0;
      out.push_back(static_cast<char>((left << 4) | right));
    }
  }
  for (int y = kSide - 1; y >= 0; --y) {
    std::uint32_t bits = 0;
    for (int x = 0; x < kSide; ++x)
      if (!image.PixelColor(x, y, nullptr)) bits |= 0x80000000u >> x;
    // Most significant byte first: the leftmost pixel is the top bit.
    for (int shift = 24; shift >= 0; shift -= 8)
      out.push_back(static_cast<char>((bits >> shift) & 0xFF));
  }
  return out;
}
