// CValueDisplay - the self-painting value display of the main window: a
// text centred in a fitted heavy font, in its own colours.
#ifndef BRENNA_PRESENTATION_VALUEDISPLAY_H
#define BRENNA_PRESENTATION_VALUEDISPLAY_H

#include <QWidget>
#include <string>

#include "presentation/DisplayBoard.h"

class CValueDisplay : public QWidget, public IValueDisplay {
  Q_OBJECT

 public:
  explicit CValueDisplay(QWidget* parent = nullptr);
  ~CValueDisplay() override;
  CValueDisplay(const CValueDisplay&) = delete;
  CValueDisplay& operator=(const CValueDisplay&) = delete;

  void SetColors(COLORREF background, COLORREF text) override;
  void SetText(std::string text) override;

  const std::string& Text() const { return m_text; }
  COLORREF BackgroundColor() const { return m_background; }
  COLORREF TextColor() const { return m_textColor; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string m_text;
  COLORREF m_background = kColorWhite;
  COLORREF m_textColor = kColorWhite;
};

#endif  // BRENNA_PRESENTATION_VALUEDISPLAY_H
