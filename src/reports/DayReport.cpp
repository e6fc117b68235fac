#include "reports/DayReport.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "reports/ResultBatches.h"
#include "reports/ShownValues.h"

namespace reports {

namespace {

struct Seen {
  std::string operatorText;
  std::int64_t utcMs = 0;
  bool any = false;
};

void Count(ReportCounts* c, const archive::ResultRow& r, bool vetoed, bool advisory, bool retest) {
  ++c->results;
  c->vetoed += vetoed;
  c->advisory += advisory;
  c->retests += retest;
  if (c->first.empty()) c->first = r.shownLocal;
  c->last = r.shownLocal;  // results come in the order shown
}

std::vector<std::string> WindowGroups() {
  std::vector<std::string> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.emplace_back(c.text);
  return groups;
}

}  // namespace

bool BuildDayReport(const std::shared_ptr<archive::ArchiveReader>& reader, const std::string& day,
                    DayReport* report, std::string* error) {
  *report = DayReport();
  report->day = day;
  const std::vector<std::string> windowGroups = WindowGroups();
  std::map<std::string, ReportCounts> groups;
  std::map<std::string, OperatorLine> operators;
  std::map<int, CodeLine> codes;
  std::map<std::string, Seen> lastOfGroup;

  archive::ResultFilter filter;
  filter.day = day;
  ResultBatches batches(reader, filter);
  std::vector<ResultWithItems> batch;
  for (bool done = false; !done;) {
    if (!batches.Next(&batch, &done, error)) return false;
    for (const ResultWithItems& r : batch) {
      bool vetoed = false, advisory = false;
      for (const ShownValue& v : ShownValues(r.items)) {
        CodeLine& line = codes[v.code];
        line.code = v.code;
        line.displayId = v.displayId;
        line.name = v.name;
        ++line.values;
        const bool veto = v.verdict != nullptr && v.verdict->verdict == Verdict::kVeto;
        const bool advice = v.verdict != nullptr && v.verdict->verdict == Verdict::kAdvisory;
        line.vetoes += veto;
        line.advisories += advice;
        vetoed |= veto;
        advisory |= advice;
      }
      Seen& before = lastOfGroup[r.row.deviceGroup];
      const bool retest = before.any && before.operatorText == r.row.operatorText &&
                          r.row.shownUtcMs - before.utcMs <= kRetestWindowMs;
      before = {r.row.operatorText, r.row.shownUtcMs, true};
      Count(&report->total, r.row, vetoed, advisory, retest);
      Count(&groups[r.row.deviceGroup], r.row, vetoed, advisory, retest);
      OperatorLine& op = operators[r.row.operatorText];
      op.operatorText = r.row.operatorText;
      if (std::find(op.groups.begin(), op.groups.end(), r.row.deviceGroup) == op.groups.end())
        op.groups.push_back(r.row.deviceGroup);
      Count(&op.counts, r.row, vetoed, advisory, retest);
    }
  }

  for (const std::string& g : windowGroups) {
    const auto it = groups.find(g);
    report->groups.push_back({g, it == groups.end() ? ReportCounts{} : it->second});
    if (it != groups.end()) groups.erase(it);
  }
  for (const auto& [g, counts] : groups) report->groups.push_back({g, counts});
  for (auto& [text, op] : operators) {
    auto order = [&](const std::string& g) {
      return std::find(windowGroups.begin(), windowGroups.end(), g) - windowGroups.begin();
    };
    std::sort(op.groups.begin(), op.groups.end(),
              [&](const std::string& a, const std::string& b) { return order(a) < order(b); });
    report->operators.push_back(std::move(op));
  }
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i) {
    const auto it = codes.find(routes[i].itemCode);
    if (it == codes.end()) continue;
    it->second.group = std::string(GroupCaptionOf(routes[i].displayId));
    report->codes.push_back(it->second);
  }
  return true;
}

std::string Percent(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100.0 * static_cast<double>(part) / whole);
  return text;
}

}  // namespace reports
