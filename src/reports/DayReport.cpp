#include "reports/DayReport.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "reports/ShownValues.h"

namespace reports {

namespace {

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

void ReportTally::Add(const ResultWithItems& r) {
  bool vetoed = false, advisory = false;
  for (const ShownValue& v : ShownValues(r.items)) {
    CodeLine& line = codes_[v.code];
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
  Add(r.row, vetoed, advisory);
}

void ReportTally::Add(const archive::ResultRow& row, bool vetoed, bool advisory) {
  Seen& before = lastOfGroup_[row.deviceGroup];
  const bool retest = before.any && before.operatorText == row.operatorText &&
                      row.shownUtcMs - before.utcMs <= kRetestWindowMs;
  before = {row.operatorText, row.shownUtcMs, true};
  Count(&total_, row, vetoed, advisory, retest);
  Count(&groups_[row.deviceGroup], row, vetoed, advisory, retest);
  OperatorLine& op = operators_[row.operatorText];
  op.operatorText = row.operatorText;
  if (std::find(op.groups.begin(), op.groups.end(), row.deviceGroup) == op.groups.end())
    op.groups.push_back(row.deviceGroup);
  Count(&op.counts, row, vetoed, advisory, retest);
}

void ReportTally::Finish(DayReport* report) {
  report->total = total_;
  const std::vector<std::string> windowGroups = WindowGroups();
  for (const std::string& g : windowGroups) {
    const auto it = groups_.find(g);
    report->groups.push_back({g, it == groups_.end() ? ReportCounts{} : it->second});
    if (it != groups_.end()) groups_.erase(it);
  }
  for (const auto& [g, counts] : groups_) report->groups.push_back({g, counts});
  auto order = [&](const std::string& g) {
    return std::find(windowGroups.begin(), windowGroups.end(), g) - windowGroups.begin();
  };
  for (auto& [text, op] : operators_) {
    std::sort(op.groups.begin(), op.groups.end(),
              [&](const std::string& a, const std::string& b) { return order(a) < order(b); });
    report->operators.push_back(std::move(op));
  }
  int count = 0;
  const ResultRoute* routes = ResultRoutes(&count);
  for (int i = 0; i < count; ++i) {
    const auto it = codes_.find(routes[i].itemCode);
    if (it == codes_.end()) continue;
    it->second.group = std::string(GroupCaptionOf(routes[i].displayId));
    report->codes.push_back(it->second);
  }
}

bool BuildDayReport(const std::shared_ptr<archive::ArchiveReader>& reader, const std::string& day,
                    DayReport* report, std::string* error) {
  *report = DayReport();
  report->day = day;
  archive::ResultFilter filter;
  filter.day = day;
  ResultBatches batches(reader, filter);
  std::vector<ResultWithItems> batch;
  ReportTally tally;
  for (bool done = false; !done;) {
    if (!batches.Next(&batch, &done, error)) return false;
    for (const ResultWithItems& r : batch) tally.Add(r);
  }
  tally.Finish(report);
  return true;
}

std::string Percent(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100.0 * static_cast<double>(part) / whole);
  return text;
}

}  // namespace reports
