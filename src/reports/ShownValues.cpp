#include "reports/ShownValues.h"

#include "panel/DisplayNames.h"
#include "panel/ResultRouting.h"

namespace reports {

bool ToShownValue(const archive::RecordItem& item, ShownValue* v) {
  const ResultRoute* route = FindRoute(item.code);
  if (route == nullptr) return false;
  v->position = item.position;
  v->code = item.code;
  v->judge = item.judge;
  v->value = item.value;
  v->displayId = route->displayId;
  v->name = DisplayNameOf(route->displayId);
  v->verdict = ShownVerdict(route->scheme, item.judge);
  return true;
}

namespace {

// Whether a later item of the record writes the same display: the window
// shows only the last value a station sent for an item code.
bool OverwrittenLater(const std::vector<archive::RecordItem>& items, std::size_t i) {
  for (std::size_t k = i + 1; k < items.size(); ++k)
    if (items[k].code == items[i].code) return true;
  return false;
}

// The order a result's verdict is told in: what the customer must hear
// first.
int Severity(Verdict v) {
  switch (v) {
    case Verdict::kVeto:
      return 0;
    case Verdict::kAdvisory:
      return 1;
    case Verdict::kPassed:
      return 2;
    case Verdict::kNotJudged:
      break;
  }
  return 3;
}

}  // namespace

std::vector<ShownValue> ShownValues(const std::vector<archive::RecordItem>& items) {
  std::vector<ShownValue> values;
  ShownValue v;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!OverwrittenLater(items, i) && ToShownValue(items[i], &v)) values.push_back(v);
  return values;
}

VerdictSummary SummarizeVerdicts(const std::vector<archive::RecordItem>& items) {
  VerdictSummary summary;
  for (const ShownValue& v : ShownValues(items)) {
    if (v.verdict == nullptr) continue;
    if (summary.worst == nullptr || Severity(v.verdict->verdict) < Severity(summary.worst->verdict))
      summary.worst = v.verdict;
    if (v.verdict->verdict == Verdict::kVeto) summary.vetoes.push_back(v);
    if (v.verdict->verdict == Verdict::kAdvisory) summary.advisories.push_back(v);
  }
  return summary;
}

std::string ValuesText(const std::vector<ShownValue>& values,
                       std::string (*text)(std::string_view gbk), const std::string& separator) {
  std::string out;
  for (const ShownValue& v : values)
    out += (out.empty() ? "" : separator) + std::string(v.name) + " " + text(v.value);
  return out;
}

bool ParseVerdictFilter(const std::string& name, Verdict* verdict) {
  if (name == "veto")
    *verdict = Verdict::kVeto;
  else if (name == "advisory")
    *verdict = Verdict::kAdvisory;
  else
    return false;
  return true;
}

void ApplyVerdictFilter(Verdict verdict, archive::ResultFilter* filter) {
  const int judge = LookOf(verdict).judgeCode;
  filter->withJudge = judge;
  filter->withCodes.clear();
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i) {
    const VerdictLook* shown = ShownVerdict(routes[i].scheme, judge);
    if (shown != nullptr && shown->verdict == verdict)
      filter->withCodes.push_back(routes[i].itemCode);
  }
}

}  // namespace reports
