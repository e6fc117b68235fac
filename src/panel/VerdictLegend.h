// VerdictLegend - the four fixed panels that explain the judge colours:
// each names a verdict and is filled with its colour (Verdicts.h), white
// text on each. The window's template takes each panel's text from here.
#ifndef BRENNA_PANEL_VERDICTLEGEND_H
#define BRENNA_PANEL_VERDICTLEGEND_H

#include <cstddef>

#include "panel/Resource.h"
#include "panel/Verdicts.h"
#include "util/Colors.h"

struct PanelColors {
  int controlId;
  Verdict verdict;
  COLORREF background;  // the verdict's colour
  COLORREF text;
};

constexpr PanelColors LegendPanel(int controlId, Verdict verdict) {
  return {controlId, verdict, LookOf(verdict).color, kColorWhite};
}

// In the order the window compares them: veto, passed, advisory, not judged.
inline constexpr PanelColors kVerdictPanels[4] = {
    LegendPanel(IDC_ST_VETO, Verdict::kVeto),
    LegendPanel(IDC_ST_PASSED, Verdict::kPassed),
    LegendPanel(IDC_ST_ADVISORY, Verdict::kAdvisory),
    LegendPanel(IDC_ST_NOTJUDGED, Verdict::kNotJudged),
};

// The colours of the panel with this control identifier; null for every
// other control, whose colours are left alone.
constexpr const PanelColors* FindPanelColors(int controlId) {
  for (const PanelColors& panel : kVerdictPanels)
    if (panel.controlId == controlId) return &panel;
  return nullptr;
}

// The text (UTF-8) of the panel with this control identifier: its
// verdict's name; empty for every other control.
// (A loop rather than FindPanelColors: comparing a pointer into the table
// with null is no constant expression under -fsanitize=undefined.)
constexpr const char* PanelText(int controlId) {
  for (const PanelColors& panel : kVerdictPanels)
    if (panel.controlId == controlId) return LookOf(panel.verdict).legendText;
  return "";
}

#endif  // BRENNA_PANEL_VERDICTLEGEND_H
