#include "presentation/FontFit.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "platform/Gbk.h"

namespace {

void ExpectFit(const FontFit& fit, int h, int w, int x, int y) {
  EXPECT_EQ(fit.height, h);
  EXPECT_EQ(fit.width, w);
  EXPECT_EQ(fit.x, x);
  EXPECT_EQ(fit.y, y);
}

// The font shrinking one step at a time, as the display's behaviour is
// described; the implementation finds the end of this walk directly.
FontFit ShrinkStepByStep(int W, int H, int n) {
  int h = H;
  int w = H / 2;
  while (W / 2 - (w * n) / 2 < 0 && w > 0) {
    h -= 2;
    w -= 1;
  }
  return FontFit{h, w, W / 2 - (w * n) / 2, H / 2 - w};
}

}  // namespace

TEST(FontFit, OperatorIdleTextFitsAtFullHeight) {
  const std::string text = Gbk("设备空闲");
  ASSERT_EQ(text.size(), 8u);
  ExpectFit(FitFont(150, 20, text.size()), 20, 10, 35, 0);
}

TEST(FontFit, NarrowControlShrinksUntilTheCellsFit) {
  // Through (18, 9) and (16, 8) to (14, 7): 8 x 7 = 56 fits into 60.
  ExpectFit(FitFont(60, 20, Gbk("设备空闲").size()), 14, 7, 2, 3);
}

TEST(FontFit, OddSizesTruncateEachDivisionOnItsOwn) {
  ExpectFit(FitFont(150, 17, 8), 17, 8, 43, 0);  // y = 8 - 8
  // 150 / 2 - 27 / 2 = 75 - 13 = 62; halving the difference would give 61.
  ExpectFit(FitFont(150, 18, 3), 18, 9, 62, 0);
  // 10 / 2 - 11 / 2 = 0 still fits: one cell of 11 in a 10 wide control.
  ExpectFit(FitFont(10, 30, 1), 22, 11, 0, 4);
}

TEST(FontFit, TextTooLongEndsAtWidthZeroInTheMiddle) {
  ExpectFit(FitFont(10, 20, 100), 0, 0, 5, 10);  // even H: height 0
  ExpectFit(FitFont(10, 21, 100), 1, 0, 5, 10);  // odd H: a one-pixel font
}

TEST(FontFit, EmptyTextKeepsTheFullSize) { ExpectFit(FitFont(150, 20, 0), 20, 10, 75, 0); }

TEST(FontFit, AgreesWithShrinkingStepByStep) {
  for (int H = 0; H <= 61; ++H)
    for (int W = 0; W <= 201; W += 3)
      for (int n = 0; n <= 40; ++n) {
        const FontFit want = ShrinkStepByStep(W, H, n);
        const FontFit got = FitFont(W, H, static_cast<std::size_t>(n));
        ASSERT_TRUE(got.height == want.height && got.width == want.width && got.x == want.x &&
                    got.y == want.y)
            << "W=" << W << " H=" << H << " n=" << n;
      }
}

TEST(FontFit, ExtremeInputGivesABoundedAnswer) {
  ExpectFit(FitFont(-5, -7, 4), 0, 0, 0, 0);
  // A text longer than any control can show: width 0, text from the middle.
  ExpectFit(FitFont(INT_MAX, INT_MAX, SIZE_MAX), 1, 0, INT_MAX / 2, INT_MAX / 2);
  // A huge control with one cell: no shrinking needed, no overflow.
  const FontFit one = FitFont(INT_MAX, INT_MAX, 1);
  EXPECT_EQ(one.width, INT_MAX / 2);
  EXPECT_EQ(one.height, INT_MAX);
  EXPECT_EQ(one.x, INT_MAX / 2 - (INT_MAX / 2) / 2);
}
