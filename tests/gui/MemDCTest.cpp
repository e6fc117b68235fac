#include "presentation/MemDC.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPicture>

namespace {

QImage WhiteImage() {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

// Whether exactly the pixels inside `area` have `inside`, all others `outside`.
bool Painted(const QImage& image, const QRect& area, QRgb inside, QRgb outside) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != (area.contains(x, y) ? inside : outside)) return false;
  return true;
}

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);

}  // namespace

TEST(MemDC, TargetChangesOnlyWhenTheFinishedImageIsCopied) {
  QImage image = WhiteImage();
  QPainter painter(&image);
  const QRect area(5, 4, 20, 10);
  {
    CMemDC memDC(&painter, &area);
    EXPECT_TRUE(memDC.IsMemDC());
    memDC->fillRect(area, Qt::red);
    memDC->fillRect(0, 0, 40, 30, Qt::red);  // beyond the area: lost
    EXPECT_TRUE(Painted(image, QRect(), kWhite, kWhite));
  }
  EXPECT_TRUE(Painted(image, area, kRed, kWhite));
}

TEST(MemDC, AreaStartsInTheTargetsBackground) {
  QImage image = WhiteImage();
  QPainter painter(&image);
  painter.setBackground(Qt::green);
  const QRect area(0, 0, 8, 8);
  { CMemDC memDC(&painter, &area); }
  EXPECT_TRUE(Painted(image, area, kGreen, kWhite));
}

TEST(MemDC, NullRectangleTakesTheClipBox) {
  QImage image = WhiteImage();
  QPainter painter(&image);
  painter.setClipRect(10, 10, 12, 6);
  {
    CMemDC memDC(&painter);
    EXPECT_EQ(memDC.Rect(), QRect(10, 10, 12, 6));
    memDC->fillRect(memDC.Rect(), Qt::red);
  }
  EXPECT_TRUE(Painted(image, QRect(10, 10, 12, 6), kRed, kWhite));

  QImage whole = WhiteImage();
  QPainter unclipped(&whole);
  CMemDC memDC(&unclipped);
  EXPECT_EQ(memDC.Rect(), whole.rect());
}

TEST(MemDC, KeepsTheTargetsMapping) {
  QImage image = WhiteImage();
  QPainter painter(&image);
  painter.translate(7, 3);
  const QRect area(0, 0, 10, 10);
  {
    CMemDC memDC(&painter, &area);
    memDC->fillRect(2, 2, 4, 4, Qt::red);
  }
  painter.end();
  QImage want = WhiteImage();
  QPainter expected(&want);
  expected.fillRect(7, 3, 10, 10, Qt::white);
  expected.fillRect(9, 5, 4, 4, Qt::red);
  expected.end();
  EXPECT_EQ(image, want);
}

TEST(MemDC, EmptyAreaLeavesTheTargetAlone) {
  QImage image = WhiteImage();
  QPainter painter(&image);
  painter.setBackground(Qt::green);
  const QRect empty(5, 5, 0, 0);
  {
    CMemDC memDC(&painter, &empty);
    memDC->fillRect(0, 0, 40, 30, Qt::red);
  }
  EXPECT_TRUE(Painted(image, QRect(), kWhite, kWhite));
}

TEST(MemDC, RecordingTargetIsDrawnDirectly) {
  QPicture picture;
  QPainter recorder(&picture);
  const QRect area(0, 0, 10, 10);
  {
    CMemDC memDC(&recorder, &area);
    EXPECT_FALSE(memDC.IsMemDC());
    memDC->fillRect(2, 2, 3, 3, Qt::red);
  }
  recorder.end();
  QImage image = WhiteImage();
  image.fill(Qt::green);
  QPainter player(&image);
  player.drawPicture(0, 0, picture);
  player.end();
  // The area in the recorder's background (white), the drawing on top.
  EXPECT_TRUE(Painted(image.copy(0, 0, 10, 10), QRect(2, 2, 3, 3), kRed, kWhite));
  EXPECT_EQ(image.pixel(20, 20), kGreen);
}
