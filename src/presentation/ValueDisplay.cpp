// First cut: stores text and colours and fills its background. The fitted
// text drawing follows.
#include "presentation/ValueDisplay.h"

#include <QColor>
#include <QPainter>

CValueDisplay::CValueDisplay(QWidget* parent) : QWidget(parent) {}

CValueDisplay::~CValueDisplay() = default;

void CValueDisplay::SetColors(COLORREF background, COLORREF text) {
  m_background = background;
  m_textColor = text;
}

void CValueDisplay::SetText(std::string text) {
  m_text = std::move(text);
  update();
}

void CValueDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(GetRValue(m_background), GetGValue(m_background),
                                  GetBValue(m_background)));
}
