#include "app/MemDC.h"

#include <QPaintDevice>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace {

QRect ClipBox(QPainter* target) {
  if (target->hasClipping()) return target->clipBoundingRect().toAlignedRect();
  const QPaintDevice* device = target->device();
  if (device == nullptr) return QRect();
  return target->transform().inverted().mapRect(QRect(0, 0, device->width(), device->height()));
}

}  // namespace

CMemDC::CMemDC(QPainter* target, const QRect* rect)
    : m_pTarget(target), m_bMemDC(true), m_pDC(target) {
  QPaintDevice* device = target->device();
  const int type = device != nullptr ? device->devType() : QInternal::UnknownDevice;
  m_bMemDC = type != QInternal::Printer && type != QInternal::Picture;
  m_rect = rect != nullptr ? rect->normalized() : ClipBox(target);

  if (m_bMemDC) {
    m_rectDevice = target->transform().mapRect(m_rect);
    const qreal dpr = device != nullptr ? device->devicePixelRatio() : 1.0;
    // A bitmap of at least one pixel keeps the painter valid for an empty
    // area; nothing of it is copied back then.
    const int w = std::max(1, static_cast<int>(std::ceil(m_rectDevice.width() * dpr)));
    const int h = std::max(1, static_cast<int>(std::ceil(m_rectDevice.height() * dpr)));
    m_bitmap = QPixmap(w, h);
    m_bitmap.setDevicePixelRatio(dpr);
    m_painter.begin(&m_bitmap);
    // The target's mapping, shifted so the area's corner is the bitmap's.
    m_painter.setTransform(target->transform() *
                           QTransform::fromTranslate(-m_rectDevice.left(), -m_rectDevice.top()));
    m_painter.setFont(target->font());
    m_painter.setPen(target->pen());
    m_painter.setBrush(target->brush());
    m_painter.setBackground(target->background());
    m_painter.setBackgroundMode(target->backgroundMode());
    m_painter.setRenderHints(target->renderHints());
    m_pDC = &m_painter;
  }
  m_pDC->fillRect(m_rect, target->background().color());
}

CMemDC::~CMemDC() {
  if (!m_bMemDC) return;
  m_painter.end();
  if (m_rectDevice.isEmpty()) return;
  // A plain copy, pixels and all, onto the same place of the target's device.
  m_pTarget->save();
  m_pTarget->resetTransform();
  m_pTarget->setCompositionMode(QPainter::CompositionMode_Source);
  m_pTarget->drawPixmap(m_rectDevice.topLeft(), m_bitmap);
  m_pTarget->restore();
}
