// FontFit - the size arithmetic of a value display's font: from the client
// area and the text length alone, without any font at hand, so it is the
// same on every machine and testable without a window.
#ifndef BRENNA_PANEL_FONTFIT_H
#define BRENNA_PANEL_FONTFIT_H

#include <cstddef>

struct FontFit {
  int height = 0;  // character cell height h
  int width = 0;   // average character width w; 0 means the face's own width
  int x = 0;       // left edge of the text
  int y = 0;       // top edge of the character cell

  bool operator==(const FontFit& o) const {
    return height == o.height && width == o.width && x == o.x && y == o.y;
  }
};

// Fits `textBytes` cells into a client area of `clientWidth` x
// `clientHeight`. The font starts at h = H, w = H / 2 and gives up 2 in height
// and 1 in width until the n cells fit, never below w = 0; the text then
// starts at x = W / 2 - (w * n) / 2, y = H / 2 - w. Every division truncates
// toward zero, W / 2 and (w * n) / 2 separately. `textBytes` is the GBK byte
// count: a Chinese character takes two cells, an ASCII one. A negative size
// counts as 0.
FontFit FitFont(int clientWidth, int clientHeight, std::size_t textBytes);

#endif  // BRENNA_PANEL_FONTFIT_H
