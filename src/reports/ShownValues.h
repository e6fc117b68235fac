// ShownValues - a result's values as the window showed them: each item the
// window routes to a display, with the display's name and the verdict its
// colour said (panel/ResultRouting, panel/Verdicts, panel/DisplayNames), so
// that every list, file and report speaks of a value as the screen did. A
// value's verdict is the one its colour shows in the legend: a display
// whose colour scheme shows no verdict for a judge code (the brake forces
// and the single smoke readings are drawn black whatever they carry) gives
// its values that look's verdict, or none where the value looks empty.
#ifndef BRENNA_REPORTS_SHOWNVALUES_H
#define BRENNA_REPORTS_SHOWNVALUES_H

#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveReader.h"
#include "panel/Verdicts.h"

namespace reports {

struct ShownValue {
  int position = 0;
  int code = 0;
  int judge = 0;
  std::string value;                     // GBK, the value text as sent
  int displayId = 0;                     // where the window showed it
  const char* name = "";                 // the display's name (UTF-8)
  const VerdictLook* verdict = nullptr;  // as shown; null: it looked empty
};

// The item as the window showed it; false for an item it does not show
// (information items, process curves).
bool ToShownValue(const archive::RecordItem& item, ShownValue* value);
// The values of a record the window shows, in record order; of an item
// code sent twice only the last, the one left on the screen.
std::vector<ShownValue> ShownValues(const std::vector<archive::RecordItem>& items);

// The vetoes and advisories among a result's values, and the most severe
// verdict any of them was shown with (veto, advisory, passed, not judged;
// null: none shown with a verdict).
struct VerdictSummary {
  std::vector<ShownValue> vetoes;
  std::vector<ShownValue> advisories;
  const VerdictLook* worst = nullptr;
};
VerdictSummary SummarizeVerdicts(const std::vector<archive::RecordItem>& items);

// "二轴 差 30.5, 三轴 右阻滞率 5.6": each value's name and its text as sent,
// made safe by `text` (FromGbk for a terminal, StationText for a page).
std::string ValuesText(const std::vector<ShownValue>& values,
                       std::string (*text)(std::string_view gbk), const std::string& separator);

// The verdicts a list can be narrowed to: "veto" and "advisory".
bool ParseVerdictFilter(const std::string& name, Verdict* verdict);
// Narrows `filter` to results with at least one value shown with that
// verdict (veto or advisory), judged by the last of an item code sent twice.
void ApplyVerdictFilter(Verdict verdict, archive::ResultFilter* filter);

}  // namespace reports

#endif  // BRENNA_REPORTS_SHOWNVALUES_H
