// VerdictLegend - the four fixed panels that explain the judge colours: the
// same colours the values are drawn in, white text on each.
#ifndef BRENNA_APP_VERDICTLEGEND_H
#define BRENNA_APP_VERDICTLEGEND_H

#include <cstddef>

#include "util/Colors.h"

struct PanelColors {
  int controlId;
  COLORREF background;
  COLORREF text;
};

// In the order the window compares them: veto, passed, advisory, not judged.
extern const PanelColors kVerdictPanels[4];

// The colours of the panel with this control identifier; null for every
// other control, whose colours are left alone.
const PanelColors* FindPanelColors(int controlId);

#endif  // BRENNA_APP_VERDICTLEGEND_H
