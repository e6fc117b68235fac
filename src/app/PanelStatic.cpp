#include "app/PanelStatic.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "app/Fonts.h"

CPanelStatic::CPanelStatic() = default;
CPanelStatic::~CPanelStatic() = default;

void CPanelStatic::paintEvent(QPaintEvent*) {
  // The background is filled by the widget (autoFillBackground).
  const QString line = text();
  if (line.isEmpty()) return;
  const QFont f = font();
  const QFontMetricsF fm(f);

  const Qt::Alignment align = alignment();
  qreal x = 0;
  if (align & Qt::AlignHCenter) {
    x = (width() - fm.horizontalAdvance(line)) / 2;
  } else if (align & Qt::AlignRight) {
    x = width() - fm.horizontalAdvance(line);
  }
  const qreal baseline =
      (align & Qt::AlignVCenter) ? (height() - fm.height()) / 2 + fm.ascent() : fm.ascent();

  QPainterPath path;
  path.addText(x, baseline, f, line);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor color = palette().color(foregroundRole());
  painter.fillPath(path, color);
  const qreal strength = SyntheticBoldStrength(f);
  if (strength > 0) {
    painter.strokePath(path, QPen(color, strength, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
}
