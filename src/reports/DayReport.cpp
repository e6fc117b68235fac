#include "reports/DayReport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "archive/ArchiveTime.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "reports/ResultBatches.h"
#include "reports/ShownValues.h"

namespace reports {

namespace {

constexpr std::int64_t kMsPerDay = 24LL * 3600 * 1000;

// How one result counts.
struct Verdicts {
  bool vetoed = false;
  bool advisory = false;
  bool retest = false;  // its vehicle was tested at its group before that day
  bool firstTest = false;
};

void Count(ReportCounts* c, const archive::ResultRow& r, const Verdicts& v) {
  ++c->results;
  c->vetoed += v.vetoed;
  c->advisory += v.advisory;
  c->retests += v.retest;
  c->firstTests += v.firstTest;
  c->firstPassed += v.firstTest && !v.vetoed;
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
  for (const ShownValue& value : ShownValues(r.items)) {
    CodeLine& line = codes_[value.code];
    line.code = value.code;
    line.displayId = value.displayId;
    line.name = value.name;
    ++line.values;
    const bool veto = value.verdict != nullptr && value.verdict->verdict == Verdict::kVeto;
    const bool advice = value.verdict != nullptr && value.verdict->verdict == Verdict::kAdvisory;
    line.vetoes += veto;
    line.advisories += advice;
    vetoed |= veto;
    advisory |= advice;
  }
  Add(r.row, vetoed, advisory);
}

void ReportTally::Add(const archive::ResultRow& row, bool vetoed, bool advisory) {
  Verdicts v;
  v.vetoed = vetoed;
  v.advisory = advisory;
  v.firstTest = FirstTestAt(row);
  v.retest = !v.firstTest;
  Count(&total_, row, v);
  Count(&groups_[row.deviceGroup], row, v);
  OperatorLine& op = operators_[row.operatorText];
  op.operatorText = row.operatorText;
  if (std::find(op.groups.begin(), op.groups.end(), row.deviceGroup) == op.groups.end())
    op.groups.push_back(row.deviceGroup);
  Count(&op.counts, row, v);
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

bool ReportTally::FirstTestAt(const archive::ResultRow& r) {
  const std::string day = r.shownLocal.substr(0, 10);
  if (day > day_) {
    day_ = day;
    tested_.clear();
  }
  return tested_.insert({r.deviceGroup, rule_.KeyOf(r.transfer)}).second;
}

bool BuildReport(const std::shared_ptr<archive::ArchiveReader>& reader, const VehicleRule& rule,
                 const std::string& from, const std::string& to, DayReport* report,
                 std::string* error) {
  *report = DayReport();
  report->from = from;
  report->to = to;
  archive::ResultFilter filter;
  filter.day = from;
  if (to != from) filter.lastDay = to;
  ResultBatches batches(reader, filter);
  std::vector<ResultWithItems> batch;
  ReportTally tally(rule);
  for (bool done = false; !done;) {
    if (!batches.Next(&batch, &done, error)) return false;
    for (const ResultWithItems& r : batch) tally.Add(r);
  }
  tally.Finish(report);
  return true;
}

bool CheckReportRange(const std::string& from, const std::string& to, int* days,
                      std::string* error) {
  std::int64_t first = 0, last = 0;
  if (!archive::IsDay(from) || !archive::ParseLocalTime(from + " 12:00", &first)) {
    *error = "'" + from + "' is no day";
    return false;
  }
  if (!archive::IsDay(to) || !archive::ParseLocalTime(to + " 12:00", &last)) {
    *error = "'" + to + "' is no day";
    return false;
  }
  if (to < from) {
    *error = to + " is before " + from;
    return false;
  }
  // Noon to noon: a day of a clock change is an hour off, never a day.
  const std::int64_t span = (last - first + kMsPerDay / 2) / kMsPerDay + 1;
  if (span > kMaxReportDays) {
    *error = "more than " + std::to_string(kMaxReportDays) + " days";
    return false;
  }
  *days = static_cast<int>(span);
  return true;
}

std::string Percent(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100.0 * static_cast<double>(part) / whole);
  return text;
}

}  // namespace reports
