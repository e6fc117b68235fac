// CValueDisplay - the self-painting value display of the main window: a
// text in a heavy face fitted to the control, in its own text and background
// colours.
//
// Callers change a display only through SetColors and SetText. Every redraw
// paints the whole control off-screen (CMemDC) and shows it in one step.
#ifndef BRENNA_PRESENTATION_VALUEDISPLAY_H
#define BRENNA_PRESENTATION_VALUEDISPLAY_H

#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <mutex>
#include <string>
#include <vector>

#include "presentation/DisplayBoard.h"
#include "util/Colors.h"

class QPainter;

class CValueDisplay : public QWidget, public IValueDisplay {
  Q_OBJECT

 public:
  // Empty text, white on white.
  explicit CValueDisplay(QWidget* parent = nullptr);
  ~CValueDisplay() override;
  CValueDisplay(const CValueDisplay&) = delete;
  CValueDisplay& operator=(const CValueDisplay&) = delete;

  // Stores both colours; they show at the next SetText or paint. From
  // another thread the call is queued to the display's own thread, in order
  // with a following SetText.
  void SetColors(COLORREF background, COLORREF text) override;
  // Stores the GBK text and puts the redrawn control on the screen before
  // returning. From another thread the call is queued to the display's own
  // thread, where it does the same.
  void SetText(std::string text) override;

  // Draws the complete control into dc: the background over all of rect,
  // then the text in the fitted font.
  void DrawContent(QPainter* dc, QRect rect);

  const std::string& Text() const { return m_text; }
  COLORREF BackgroundColor() const { return m_background; }
  COLORREF TextColor() const { return m_textColor; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void OnPaint();

 private slots:
  // Applies, on the display's own thread, the calls other threads queued.
  void ApplyPending();

 private:
  // A SetColors (text unused) or SetText made on another thread.
  struct PendingCall {
    bool isText;
    COLORREF background;
    COLORREF textColor;
    std::string text;
  };

  bool OnOwnThread() const;
  // Queues a call from another thread; the first one wakes the display's thread.
  void Post(PendingCall call);
  // The redraw shared by painting and SetText, onto the widget's painter.
  void Redraw(QPainter* windowDc);

  std::string m_text;
  COLORREF m_background = kColorWhite;
  COLORREF m_textColor = kColorWhite;
  QString m_shownText;  // m_text converted once, for drawing
  // The first redraw's background, made once. Every redraw copies it first
  // and DrawContent then fills the whole rectangle, so it never shows: a
  // later colour or size need not rebuild it.
  QPixmap m_bmpCache;
  QRect m_rcClient;  // read again before every redraw

  // Calls from other threads travel through our own lock rather than inside
  // the wake-up event, so the hand-over is ordered for every checker too.
  std::mutex m_pendingLock;
  std::vector<PendingCall> m_pending;
};

#endif  // BRENNA_PRESENTATION_VALUEDISPLAY_H
