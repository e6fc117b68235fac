#include "app/VerdictLegend.h"

#include "app/Resource.h"

const PanelColors kVerdictPanels[4] = {
    {IDC_ST_VETO, kColorRed, kColorWhite},
    {IDC_ST_PASSED, kColorBlue, kColorWhite},
    {IDC_ST_ADVISORY, kColorGreen, kColorWhite},
    {IDC_ST_NOTJUDGED, kColorBlack, kColorWhite},
};

const PanelColors* FindPanelColors(int controlId) {
  for (const PanelColors& panel : kVerdictPanels) {
    if (panel.controlId == controlId) return &panel;
  }
  return nullptr;
}
