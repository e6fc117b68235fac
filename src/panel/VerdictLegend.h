// VerdictLegend - the fixed panels that explain the judge colours, one per
// verdict of the verdict table (Verdicts.h), in its order: each names its
// verdict and is filled with its colour, white text on each. The window's
// template takes each panel's text and place from the table; both windows
// fill the panels from here.
#ifndef BRENNA_PANEL_VERDICTLEGEND_H
#define BRENNA_PANEL_VERDICTLEGEND_H

#include <array>
#include <cstddef>

#include "panel/Verdicts.h"
#include "util/Colors.h"

struct PanelColors {
  int controlId;
  Verdict verdict;
  COLORREF background;  // the verdict's colour
  COLORREF text;
};

inline constexpr std::size_t kVerdictCount = std::size(kVerdicts);

namespace verdict_legend_detail {
constexpr std::array<PanelColors, kVerdictCount> Panels() {
  std::array<PanelColors, kVerdictCount> panels{};
  for (std::size_t i = 0; i < kVerdictCount; ++i)
    panels[i] = {kVerdicts[i].panel.controlId, kVerdicts[i].verdict, kVerdicts[i].color,
                 kColorWhite};
  return panels;
}
}  // namespace verdict_legend_detail

// In the order the window compares them: the verdict table's.
inline constexpr std::array<PanelColors, kVerdictCount> kVerdictPanels =
    verdict_legend_detail::Panels();

// The place in the legend (and in kVerdicts) of the panel with this control
// identifier; -1 for every other control, whose colours are left alone.
constexpr int LegendIndex(int controlId) {
  for (std::size_t i = 0; i < kVerdictCount; ++i)
    if (kVerdictPanels[i].controlId == controlId) return static_cast<int>(i);
  return -1;
}

// The colours of the panel with this control identifier; null for every
// other control.
constexpr const PanelColors* FindPanelColors(int controlId) {
  const int i = LegendIndex(controlId);
  return i < 0 ? nullptr : &kVerdictPanels[static_cast<std::size_t>(i)];
}

#endif  // BRENNA_PANEL_VERDICTLEGEND_H
