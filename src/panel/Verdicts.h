// Verdicts - the one table of what a judge code says: its verdict, its
// colour and the colour's name, the order a verdict is told in, and its
// legend panel (the panel's text, control ID and place in the window). A
// value is drawn in its verdict's colour and the verdict's legend panel is
// filled with it, so the decoder's colour schemes, the template's legend,
// both windows' panels and brushes, brenna-history's and brenna-web's
// reports and the station guide all read it here and cannot disagree. A
// verdict is added, or a colour or a text changed, in this table alone
// (docs/display-and-layout.md, "Verdicts").
#ifndef BRENNA_PANEL_VERDICTS_H
#define BRENNA_PANEL_VERDICTS_H

#include <array>
#include <cstddef>
#include <iterator>

#include "panel/DialogTemplate.h"
#include "panel/Resource.h"
#include "util/Colors.h"

enum class Verdict { kVeto, kPassed, kAdvisory, kNotJudged };

// Where a verdict's legend panel sits: its control in template 102 and its
// place there, in dialog units.
struct LegendPlace {
  int controlId;
  DluRect rect;
};

constexpr LegendPlace Legend(int controlId, int x, int y, int cx, int cy) {
  return {controlId, {x, y, cx, cy}};
}

struct VerdictLook {
  Verdict verdict;
  int judgeCode;           // how a result record says it
  const char* legendText;  // UTF-8: the legend panel's text
  COLORREF color;          // a value's text, the panel's background
  const char* colourName;  // the colour in words, as reports and the guide say it
  int severity;            // the order a group's verdict is told in: 1 first
  LegendPlace panel;       // its legend panel
};

// In the order of the legend: veto, passed, advisory, not judged. The
// window compares a control with the panels, and the template lists them,
// in this order.
inline constexpr VerdictLook kVerdicts[] = {
    // verdict, judge code, legend text, colour, its name, told, legend panel
    {Verdict::kVeto, 2, "否决项", kColorRed, "red", 1, Legend(IDC_ST_VETO, 349, 68, 163, 59)},
    {Verdict::kPassed, 1, "合格项", kColorBlue, "blue", 3, Legend(IDC_ST_PASSED, 512, 68, 163, 59)},
    {Verdict::kAdvisory, 3, "建议项", kColorGreen, "green", 2,
     Legend(IDC_ST_ADVISORY, 349, 136, 163, 59)},
    {Verdict::kNotJudged, 4, "不评项", kColorBlack, "black", 4,
     Legend(IDC_ST_NOTJUDGED, 512, 136, 163, 59)},
};

// What a value is drawn in when its judge code tells no verdict its scheme
// knows: white on the white display, so it looks empty.
inline constexpr COLORREF kNoVerdictColor = kColorWhite;

// The look of a verdict.
constexpr const VerdictLook& LookOf(Verdict verdict) {
  for (const VerdictLook& look : kVerdicts)
    if (look.verdict == verdict) return look;
  return kVerdicts[std::size(kVerdicts) - 1];  // never: every verdict has its row
}

// The verdict a judge code says; null for every other code.
constexpr const VerdictLook* VerdictOfJudge(int judgeCode) {
  for (const VerdictLook& look : kVerdicts)
    if (look.judgeCode == judgeCode) return &look;
  return nullptr;
}

// The verdict a colour says (a value drawn in it); null for every other.
constexpr const VerdictLook* VerdictOfColour(COLORREF color) {
  for (const VerdictLook& look : kVerdicts)
    if (look.color == color) return &look;
  return nullptr;
}

namespace verdicts_detail {
constexpr bool OneRowEach() {
  for (std::size_t i = 0; i < std::size(kVerdicts); ++i) {
    if (kVerdicts[i].color == kNoVerdictColor || kVerdicts[i].severity < 1 ||
        kVerdicts[i].severity > static_cast<int>(std::size(kVerdicts)))
      return false;
    for (std::size_t j = i + 1; j < std::size(kVerdicts); ++j)
      if (kVerdicts[i].verdict == kVerdicts[j].verdict ||
          kVerdicts[i].judgeCode == kVerdicts[j].judgeCode ||
          kVerdicts[i].color == kVerdicts[j].color ||
          kVerdicts[i].severity == kVerdicts[j].severity ||
          kVerdicts[i].panel.controlId == kVerdicts[j].panel.controlId)
        return false;
  }
  return true;
}
}  // namespace verdicts_detail
static_assert(verdicts_detail::OneRowEach(),
              "each verdict once, with a judge code, a colour (not white), a place in the "
              "telling order (1 to the number of verdicts) and a legend panel of its own");

namespace verdicts_detail {
constexpr std::array<Verdict, std::size(kVerdicts)> InTellingOrder() {
  std::array<Verdict, std::size(kVerdicts)> order{};
  for (const VerdictLook& v : kVerdicts)
    order[static_cast<std::size_t>(v.severity - 1)] = v.verdict;
  return order;
}
}  // namespace verdicts_detail

// The order verdicts are told in when a result or a group is summed up in
// one, by the table's severity: what the customer must hear first.
inline constexpr std::array<Verdict, std::size(kVerdicts)> kVerdictSeverity =
    verdicts_detail::InTellingOrder();

#endif  // BRENNA_PANEL_VERDICTS_H
