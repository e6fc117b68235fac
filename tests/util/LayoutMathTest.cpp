#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "util/LayoutMath.h"

namespace {
const CRect kDesigned{0, 0, 800, 600};
}

TEST(LayoutMath, RescalesFromTheRecordedProportions) {
  EXPECT_EQ(ScaleRect({100, 50, 300, 80}, kDesigned, 1600, 1200), (CRect{200, 100, 600, 160}));
  EXPECT_EQ(ScaleRect({100, 50, 300, 80}, kDesigned, 0, 0), (CRect{0, 0, 0, 0}));
  // 1 / 800 as a float lies just below 0.00125, so 1600 x ratio stays below 2.
  EXPECT_EQ(ScaleRect({1, 0, 2, 1}, kDesigned, 1600, 1200).left, 1);
  // Truncated toward zero: -1.99... is -1.
  EXPECT_EQ(ScaleRect({-1, 0, 2, 1}, kDesigned, 1600, 1200).left, -1);
  // The nearest float to the quotient, not a quotient of floats: 16777221
  // is no float, and converting it first would give 5592406.5.
  EXPECT_EQ(LayoutRatio(16777221, 3), 5592407.0f);
}

TEST(LayoutMath, OnlyANonEmptyRecordingIsScalable) {
  EXPECT_TRUE(LayoutIsScalable(kDesigned));
  EXPECT_FALSE(LayoutIsScalable({0, 0, 0, 600}));
  EXPECT_FALSE(LayoutIsScalable({0, 0, 800, 0}));
  EXPECT_FALSE(LayoutIsScalable({0, 0, -800, 600}));
}

TEST(LayoutMath, OutOfRangeProductsAreClamped) {
  EXPECT_EQ(ScaleEdge(INT_MAX, 2.0f), INT_MAX);
  EXPECT_EQ(ScaleEdge(INT_MAX, -2.0f), INT_MIN);
  EXPECT_EQ(ScaleEdge(100, std::numeric_limits<float>::quiet_NaN()), 0);
  // Even a recording that is not scalable gives an answer, not a crash.
  EXPECT_EQ(ScaleRect({1, 1, 2, 2}, {0, 0, 0, 0}, 1600, 1200).left, INT_MAX);
}
