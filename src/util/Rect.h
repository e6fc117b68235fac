// Rect - a window rectangle in the Windows sense: left, top, right, bottom,
// 32-bit signed; right and bottom lie just outside.
#ifndef BRENNA_UTIL_RECT_H
#define BRENNA_UTIL_RECT_H

struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const CRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const CRect& o) const { return !(*this == o); }
};

#endif  // BRENNA_UTIL_RECT_H
