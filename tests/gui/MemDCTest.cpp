#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPicture>

#include "app/MemDC.h"

namespace {

QImage Filled(Qt::GlobalColor colour) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

TEST(MemDC, TargetGetsOnlyTheFinishedAreaAndOnlyAtTheEnd) {
  QImage image = Filled(Qt::white);
  QPainter painter(&image);
  painter.setBackground(Qt::green);
  const QRect area(5, 4, 20, 10);
  {
    CMemDC memDC(&painter, &area);
    EXPECT_TRUE(memDC.IsMemDC());
    memDC->fillRect(5, 4, 10, 10, Qt::red);
    memDC->fillRect(0, 0, 4, 4, Qt::red);  // outside the area: lost
    EXPECT_EQ(image, Filled(Qt::white));
  }
  QImage want = Filled(Qt::white);
  QPainter expected(&want);
  expected.fillRect(area, Qt::green);  // the area starts in the background
  expected.fillRect(5, 4, 10, 10, Qt::red);
  expected.end();
  EXPECT_EQ(image, want);

  const QRect empty(5, 5, 0, 0);
  { CMemDC(&painter, &empty)->fillRect(0, 0, 40, 30, Qt::red); }
  EXPECT_EQ(image, want);
}

TEST(MemDC, KeepsTheTargetsMappingAndClipBox) {
  QImage image = Filled(Qt::white);
  QPainter painter(&image);
  painter.translate(7, 3);
  painter.setClipRect(0, 0, 10, 10);
  {
    CMemDC memDC(&painter);  // no rectangle: the clip box
    EXPECT_EQ(memDC.Rect(), QRect(0, 0, 10, 10));
    memDC->fillRect(2, 2, 4, 4, Qt::red);
  }
  QImage want = Filled(Qt::white);
  QPainter expected(&want);
  expected.fillRect(9, 5, 4, 4, Qt::red);
  expected.end();
  EXPECT_EQ(image, want);
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
  QImage image = Filled(Qt::green);
  QPainter player(&image);
  player.drawPicture(0, 0, picture);
  player.end();
  EXPECT_EQ(image.pixel(3, 3), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));  // the recorder's background
  EXPECT_EQ(image.pixel(20, 20), qRgb(0, 255, 0));
}
