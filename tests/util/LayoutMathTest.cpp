#include "util/LayoutMath.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {
const CRect kDesigned{0, 0, 800, 600};
}

TEST(LayoutMath, DoublingTheClientAreaDoublesEveryEdge) {
  EXPECT_EQ(ScaleRect({100, 50, 300, 80}, kDesigned, 1600, 1200), (CRect{200, 100, 600, 160}));
}

TEST(LayoutMath, FloatRatioDecidesTheLastPixel) {
  // 1 / 800 as a float is just below 0.00125, so 1600 x ratio is just below 2.
  EXPECT_LT(LayoutRatio(1, 800), 0.00125);
  EXPECT_EQ(ScaleEdge(1600, LayoutRatio(1, 800)), 1);
  EXPECT_EQ(ScaleRect({1, 1, 2, 2}, kDesigned, 1600, 1200).left, 1);
  // Ratios are the nearest float, not a float quotient of floats of the parts.
  EXPECT_EQ(LayoutRatio(1, 3), 1.0f / 3.0f);
  // 16777221 is no float; converting it first would give 5592406.5.
  EXPECT_EQ(LayoutRatio(16777221, 3), 5592407.0f);
}

TEST(LayoutMath, ProductsTruncateTowardZero) {
  // A child partly left of the client area: -1.99... becomes -1, not -2.
  EXPECT_EQ(ScaleEdge(1600, LayoutRatio(-1, 800)), -1);
  EXPECT_EQ(ScaleRect({-1, 0, 10, 10}, kDesigned, 1600, 1200), (CRect{-1, 0, 20, 20}));
  // -1 / 600 rounds away from zero as a float: the product passes -2.
  EXPECT_EQ(ScaleEdge(1200, LayoutRatio(-1, 600)), -2);
}

TEST(LayoutMath, EmptyClientAreaCollapsesEveryChildAtTheOrigin) {
  EXPECT_EQ(ScaleRect({100, 50, 300, 80}, kDesigned, 0, 0), (CRect{0, 0, 0, 0}));
  EXPECT_EQ(ScaleRect({799, 599, 800, 600}, kDesigned, 0, 0), (CRect{0, 0, 0, 0}));
}

TEST(LayoutMath, OnlyANonEmptyRecordingIsScalable) {
  EXPECT_TRUE(LayoutIsScalable(kDesigned));
  EXPECT_TRUE(LayoutIsScalable({10, 10, 11, 11}));
  EXPECT_FALSE(LayoutIsScalable({0, 0, 0, 600}));
  EXPECT_FALSE(LayoutIsScalable({0, 0, 800, 0}));
  EXPECT_FALSE(LayoutIsScalable({0, 0, -800, 600}));
}

TEST(LayoutMath, OutOfRangeProductsAreClamped) {
  EXPECT_EQ(ScaleEdge(INT_MAX, 2.0f), INT_MAX);
  EXPECT_EQ(ScaleEdge(INT_MAX, -2.0f), INT_MIN);
  EXPECT_EQ(ScaleEdge(100, std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(ScaleEdge(100, std::numeric_limits<float>::infinity()), INT_MAX);
  // A recording that is not scalable still gives an answer, not a crash.
  const CRect r = ScaleRect({1, 1, 2, 2}, {0, 0, 0, 0}, 1600, 1200);
  EXPECT_EQ(r.left, INT_MAX);
}
