// CPanelStatic - a static text for the verdict legend: one line in a very
// large, heavy font, centred on its own background.
//
// Qt draws glyphs above the glyph-cache size as outlines and then skips the
// synthetic bold it gives a face without a heavy weight (the Song faces have
// none), so a plain label would show the legend in a thin hairline. This
// label draws the outline itself and thickens it the way the font engine
// does for smaller sizes.
#ifndef BRENNA_APP_PANELSTATIC_H
#define BRENNA_APP_PANELSTATIC_H

#include <QLabel>

class CPanelStatic : public QLabel {
 public:
  CPanelStatic();
  ~CPanelStatic() override;
  CPanelStatic(const CPanelStatic&) = delete;
  CPanelStatic& operator=(const CPanelStatic&) = delete;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

#endif  // BRENNA_APP_PANELSTATIC_H
