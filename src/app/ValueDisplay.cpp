#include "app/ValueDisplay.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QMetaObject>
#include <QPainter>
#include <QThread>
#include <algorithm>
#include <utility>

#include "app/Fonts.h"
#include "app/MemDC.h"
#include "app/QtColor.h"
#include "panel/FontFit.h"
#include "platform/Gbk.h"

namespace {

// The value font: "Arial" at weight 900, `height` pixels high, characters
// `width` pixels wide on average. Qt has no width parameter, so the face is
// stretched by the ratio of the wanted width to its own unstretched average
// width. Height 0 leaves the default size, width 0 the face's own width.
QFont ValueFont(int height, int width, const QPaintDevice* device) {
  QFont font = CreateFontLike(height, width, 900, QStringLiteral("Arial"), device);
  font.setStyleHint(QFont::SansSerif);
  font.setKerning(false);  // one cell after the other, as fitted
  return font;
}

}  // namespace

CValueDisplay::CValueDisplay(QWidget* parent) : QWidget(parent) {
  // Every pixel is ours: no background erase before painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CValueDisplay::~CValueDisplay() = default;

bool CValueDisplay::OnOwnThread() const { return QThread::currentThread() == thread(); }

void CValueDisplay::Wake() {
  // Widgets are painted on their own thread only. If the display is gone
  // before the wake-up arrives, Qt drops it with the display.
  QMetaObject::invokeMethod(this, "ApplyPending", Qt::QueuedConnection);
}

void CValueDisplay::ApplyPending() { ApplyQueued(); }

void CValueDisplay::TextChanged() {
  m_shownText = QString::fromUtf8(GbkToUtf8(m_text));
  // Painted and flushed before returning, not left to the event loop: each
  // value shows while the rest of a result is still being decoded.
  repaint();
}

void CValueDisplay::paintEvent(QPaintEvent*) { OnPaint(); }

void CValueDisplay::OnPaint() {
  QPainter dc(this);
  Redraw(&dc);
}

void CValueDisplay::Redraw(QPainter* windowDc) {
  m_rcClient = rect();
  CMemDC memDC(windowDc, &m_rcClient);
  if (m_bmpCache.isNull()) {
    const qreal dpr = devicePixelRatio();
    m_bmpCache = QPixmap(std::max(1, qRound(m_rcClient.width() * dpr)),
                         std::max(1, qRound(m_rcClient.height() * dpr)));
    m_bmpCache.setDevicePixelRatio(dpr);
    m_bmpCache.fill(ToQColor(m_background));
  }
  memDC->drawPixmap(QPoint(0, 0), m_bmpCache);
  DrawContent(memDC.Painter(), m_rcClient);
}

void CValueDisplay::DrawContent(QPainter* dc, QRect rect) {
  const QColor background = ToQColor(m_background);
  dc->fillRect(rect, background);
  if (m_text.empty()) return;

  const FontFit fit = FitFont(rect.width(), rect.height(), m_text.size());
  dc->save();
  dc->setFont(ValueFont(fit.height, fit.width, dc->device()));
  dc->setPen(ToQColor(m_textColor));
  dc->setBackground(background);
  dc->setBackgroundMode(Qt::OpaqueMode);  // the text cells in the background colour
  // (x, y) is the top of the character cell; Qt places text by its baseline.
  const QPoint origin(rect.left() + fit.x, rect.top() + fit.y + dc->fontMetrics().ascent());
  dc->drawText(origin, m_shownText);
  dc->restore();
}
