// CValueDisplay - the self-painting value display of the main window: a
// text in a heavy face fitted to the control, in its own text and background
// colours.
//
// Callers change a display only through SetColors and SetText. Every redraw
// paints the whole control off-screen (CMemDC) and shows it in one step.
#ifndef BRENNA_APP_VALUEDISPLAY_H
#define BRENNA_APP_VALUEDISPLAY_H

#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

#include "monitor/ValueDisplayBase.h"
#include "util/Colors.h"

class QPainter;

class CValueDisplay : public QWidget, public ValueDisplayBase {
  Q_OBJECT

 public:
  // Empty text, white on white.
  explicit CValueDisplay(QWidget* parent = nullptr);
  ~CValueDisplay() override;
  CValueDisplay(const CValueDisplay&) = delete;
  CValueDisplay& operator=(const CValueDisplay&) = delete;

  // Draws the complete control into dc: the background over all of rect,
  // then the text in the fitted font.
  void DrawContent(QPainter* dc, QRect rect);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void OnPaint();

 private slots:
  // Applies, on the display's own thread, the calls other threads queued.
  void ApplyPending();

 private:
  // ValueDisplayBase: the widget's thread, a queued call, the repaint.
  bool OnOwnThread() const override;
  void Wake() override;
  void TextChanged() override;
  // The redraw shared by painting and SetText, onto the widget's painter.
  void Redraw(QPainter* windowDc);

  QString m_shownText;  // m_text converted once, for drawing
  // The first redraw's background, made once. Every redraw copies it first
  // and DrawContent then fills the whole rectangle, so it never shows: a
  // later colour or size need not rebuild it.
  QPixmap m_bmpCache;
  QRect m_rcClient;  // read again before every redraw
};

#endif  // BRENNA_APP_VALUEDISPLAY_H
