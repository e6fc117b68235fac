#include "util/LayoutMath.h"

#include <cmath>
#include <limits>

float LayoutRatio(int part, int whole) {
  // Rounding through double first is still the nearest float: for a whole
  // below 2^29 the quotient is never close enough to a float tie for the
  // second rounding to go the wrong way.
  return static_cast<float>(static_cast<double>(part) / static_cast<double>(whole));
}

int ScaleEdge(int extent, float ratio) {
  const double product = std::trunc(static_cast<double>(extent) * static_cast<double>(ratio));
  if (std::isnan(product)) return 0;
  if (product >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (product <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  return static_cast<int>(product);
}

bool LayoutIsScalable(const CRect& recordedClient) {
  return recordedClient.Width() > 0 && recordedClient.Height() > 0;
}

CRect ScaleRect(const CRect& child, const CRect& recordedClient, int newWidth, int newHeight) {
  const int W = recordedClient.Width();
  const int H = recordedClient.Height();
  CRect scaled;
  scaled.left = ScaleEdge(newWidth, LayoutRatio(child.left, W));
  scaled.right = ScaleEdge(newWidth, LayoutRatio(child.right, W));
  scaled.top = ScaleEdge(newHeight, LayoutRatio(child.top, H));
  scaled.bottom = ScaleEdge(newHeight, LayoutRatio(child.bottom, H));
  return scaled;
}
