// Verdicts - the one table of what a judge code says: its verdict, the text
// of the legend panel that names it, and its colour. A value is drawn in
// its verdict's colour and the verdict's legend panel is filled with it, so
// the decoder's colour schemes, the legend's panels and their brushes all
// read it here and cannot disagree.
#ifndef BRENNA_PANEL_VERDICTS_H
#define BRENNA_PANEL_VERDICTS_H

#include <cstddef>
#include <iterator>

#include "util/Colors.h"

enum class Verdict { kVeto, kPassed, kAdvisory, kNotJudged };

struct VerdictLook {
  Verdict verdict;
  int judgeCode;           // how a result record says it
  const char* legendText;  // UTF-8: the legend panel's text
  COLORREF color;          // a value's text, the panel's background
};

// In the order of the legend: veto, passed, advisory, not judged.
inline constexpr VerdictLook kVerdicts[] = {
    {Verdict::kVeto, 2, "否决项", kColorRed},
    {Verdict::kPassed, 1, "合格项", kColorBlue},
    {Verdict::kAdvisory, 3, "建议项", kColorGreen},
    {Verdict::kNotJudged, 4, "不评项", kColorBlack},
};

// The order verdicts are told in when a result or a group is summed up in
// one: what the customer must hear first.
inline constexpr Verdict kVerdictSeverity[] = {Verdict::kVeto, Verdict::kAdvisory, Verdict::kPassed,
                                               Verdict::kNotJudged};

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

namespace verdicts_detail {
constexpr bool OneRowEach() {
  for (std::size_t i = 0; i < std::size(kVerdicts); ++i)
    for (std::size_t j = i + 1; j < std::size(kVerdicts); ++j)
      if (kVerdicts[i].verdict == kVerdicts[j].verdict ||
          kVerdicts[i].judgeCode == kVerdicts[j].judgeCode ||
          kVerdicts[i].color == kVerdicts[j].color || kVerdicts[i].color == kNoVerdictColor)
        return false;
  return std::size(kVerdicts) == 4;
}
}  // namespace verdicts_detail
static_assert(verdicts_detail::OneRowEach(),
              "each verdict once, with a judge code and a colour of its own (not white)");

#endif  // BRENNA_PANEL_VERDICTS_H
