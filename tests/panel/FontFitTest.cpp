#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "panel/FontFit.h"
#include "platform/Gbk.h"

static std::ostream& operator<<(std::ostream& os, const FontFit& f) {
  return os << "h " << f.height << " w " << f.width << " at " << f.x << "," << f.y;
}

TEST(FontFit, WorkedSizes) {
  const std::size_t idle = Gbk("设备空闲").size();
  ASSERT_EQ(idle, 8u);
  const struct {
    int W, H;
    std::size_t n;
    FontFit want;
  } cases[] = {
      {150, 20, idle, {20, 10, 35, 0}},  // fits at full height
      {60, 20, idle, {14, 7, 2, 3}},     // through 18/9 and 16/8 to 14/7
      {150, 17, idle, {17, 8, 43, 0}},   // odd H: y = 8 - 8
      {150, 18, 3, {18, 9, 62, 0}},      // 75 - 27/2 = 62; (150 - 27)/2 would be 61
      {10, 30, 1, {22, 11, 0, 4}},       // 5 - 11/2 = 0 still fits
      {10, 20, 100, {0, 0, 5, 10}},      // width 0, even H: height 0, from the middle
      {10, 21, 100, {1, 0, 5, 10}},      // odd H: a one-pixel font
      {150, 20, 0, {20, 10, 75, 0}},     // empty text
      {-5, -7, 4, {0, 0, 0, 0}},         // negative sizes count as 0
      {INT_MAX, INT_MAX, SIZE_MAX, {1, 0, INT_MAX / 2, INT_MAX / 2}},
      {INT_MAX, INT_MAX, 1, {INT_MAX, INT_MAX / 2, INT_MAX / 2 - INT_MAX / 4, 0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitFont(c.W, c.H, c.n), c.want) << c.W << "x" << c.H << " n " << c.n;
}

TEST(FontFit, AgreesWithShrinkingStepByStep) {
  for (int H = 0; H <= 61; ++H)
    for (int W = 0; W <= 201; W += 3)
      for (int n = 0; n <= 40; ++n) {
        int h = H;
        int w = H / 2;
        while (W / 2 - (w * n) / 2 < 0 && w > 0) {
          h -= 2;
          w -= 1;
        }
        const FontFit want{h, w, W / 2 - (w * n) / 2, H / 2 - w};
        ASSERT_EQ(FitFont(W, H, static_cast<std::size_t>(n)), want) << W << "x" << H << " n " << n;
      }
}
