// The launcher icons the package installs are the program's own icon: the
// 32 x 32 file is icon 128 pixel for pixel, the larger ones repeat each of
// its pixels, and the two in-between sizes (16, 48) average evenly sized
// blocks of it. Icons drawn or edited by hand would drift from the window's.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <algorithm>

#include "app/QtColor.h"
#include "panel/Resource.h"
#include "panel/Templates.h"

namespace {

QImage IconFile(int size) {
  const QString path = QString("%1/packaging/icons/%2x%2/brennacenter.png")
                           .arg(QString::fromUtf8(BRENNA_SOURCE_DIR))
                           .arg(size);
  return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// Icon 128's pixel as ARGB; fully transparent where the icon has none.
QRgb IconPixel(const IconImage& icon, int x, int y) {
  COLORREF c = 0;
  if (!icon.PixelColor(x, y, &c)) return qRgba(0, 0, 0, 0);
  return ToQColor(c).rgb();
}

// Whether the icon's pixels in [x0, x0+n) x [y0, y0+n) are all alike.
bool Uniform(const IconImage& icon, int x0, int y0, int n) {
  for (int y = y0; y < y0 + n; ++y)
    for (int x = x0; x < x0 + n; ++x)
      if (IconPixel(icon, x, y) != IconPixel(icon, x0, y0)) return false;
  return true;
}

}  // namespace

TEST(IconFiles, EverySizeIsTheProgramsOwnIcon) {
  const IconImage* icon = LoadIconResource(IDR_MAINFRAME);
  ASSERT_NE(icon, nullptr);
  ASSERT_EQ(icon->width, 32);
  ASSERT_EQ(icon->height, 32);

  for (int size : {32, 64, 128, 256}) {
    const QImage image = IconFile(size);
    ASSERT_EQ(image.size(), QSize(size, size)) << size;
    const int factor = size / 32;
    int wrong = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        wrong += image.pixel(x, y) != IconPixel(*icon, x / factor, y / factor);
    EXPECT_EQ(wrong, 0) << size << "x" << size << " differs from icon 128";
  }

  // 16 averages 2x2 blocks of the icon, 48 2x2 blocks of its threefold
  // enlargement f: pixel x covers enlarged pixels 2x and 2x+1, that is icon
  // pixels 2x/f to (2x+1)/f on each axis. Wherever those are of one colour,
  // so is the file.
  for (int size : {16, 48}) {
    const int f = size == 16 ? 1 : 3;  // enlargement before halving
    const QImage image = IconFile(size);
    ASSERT_EQ(image.size(), QSize(size, size)) << size;
    int checked = 0;
    int wrong = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const int x0 = 2 * x / f, x1 = (2 * x + 1) / f;
        const int y0 = 2 * y / f, y1 = (2 * y + 1) / f;
        const int n = std::max(x1 - x0, y1 - y0) + 1;
        if (x0 + n > 32 || y0 + n > 32 || !Uniform(*icon, x0, y0, n)) continue;
        ++checked;
        wrong += image.pixel(x, y) != IconPixel(*icon, x0, y0);
      }
    }
    EXPECT_GT(checked, size * size / 4) << size;
    EXPECT_EQ(wrong, 0) << size << "x" << size << " differs from icon 128";
  }
}
