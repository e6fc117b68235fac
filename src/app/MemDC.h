// CMemDC - draws a whole image off-screen and puts it on its target in one
// step when it goes out of scope, so the screen never shows a half-drawn
// control.
//
//   {
//     CMemDC memDC(&painter, &rect);
//     memDC->fillRect(...);           // draw as on the target itself
//   }                                 // the finished image lands here
//
// On a recording target (a printer or a QPicture) a bitmap would only lose
// quality, so there the drawing goes straight to the target instead.
#ifndef BRENNA_APP_MEMDC_H
#define BRENNA_APP_MEMDC_H

#include <QPainter>
#include <QPixmap>
#include <QRect>

class CMemDC {
 public:
  // `target` is an active painter and outlives this object. `rect` is the
  // area to draw, in the target's logical coordinates; null means the
  // target's clip box (its whole device when it does not clip). The area
  // starts filled with the target's background.
  explicit CMemDC(QPainter* target, const QRect* rect = nullptr);
  ~CMemDC();
  CMemDC(const CMemDC&) = delete;
  CMemDC& operator=(const CMemDC&) = delete;

  // The painter to draw with, in the target's logical coordinates.
  QPainter* Painter() { return m_pDC; }
  QPainter* operator->() { return m_pDC; }
  // True when drawing goes to the off-screen bitmap.
  bool IsMemDC() const { return m_bMemDC; }
  const QRect& Rect() const { return m_rect; }

 private:
  QPixmap m_bitmap;
  QPainter* m_pTarget;
  QRect m_rect;        // logical coordinates of the target
  QRect m_rectDevice;  // the same area on the target's device
  bool m_bMemDC;
  QPainter m_painter;  // paints into m_bitmap
  QPainter* m_pDC;     // m_painter, or the target itself when recording
};

#endif  // BRENNA_APP_MEMDC_H
