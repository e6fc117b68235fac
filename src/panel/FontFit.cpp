#include "panel/FontFit.h"

#include <algorithm>
#include <cstdint>

FontFit FitFont(int clientWidth, int clientHeight, std::size_t textBytes) {
  const std::int64_t W = std::max(clientWidth, 0);
  const std::int64_t H = std::max(clientHeight, 0);
  // Past 2^32 cells not even w = 1 fits any int width; capping there keeps
  // w * n inside 64 bits without changing the answer.
  const std::int64_t n =
      static_cast<std::int64_t>(std::min<std::size_t>(textBytes, std::size_t{1} << 32));

  // Shrinking one step at a time stops at the largest w <= H / 2 with
  // (w * n) / 2 <= W / 2. As (w * n) / 2 never falls when w grows, that w is
  // found directly: (w * n) / 2 <= K  <=>  w * n <= 2K + 1. A huge control
  // thus costs no more than a small one.
  const std::int64_t start = H / 2;
  std::int64_t w = start;
  if (n > 0) w = std::min(start, (2 * (W / 2) + 1) / n);

  FontFit fit;
  fit.width = static_cast<int>(w);
  fit.height = static_cast<int>(H - 2 * (start - w));  // every step took 2 from h
  fit.x = static_cast<int>(W / 2 - (w * n) / 2);
  fit.y = static_cast<int>(H / 2 - w);
  return fit;
}
