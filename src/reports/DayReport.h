// DayReport - the report of a day, or of any range of days, for
// brenna-history --report and brenna-web's /report: per device group and
// per operator the results, those with a veto, those with an advisory, the
// retests, the vehicles first tested and how many of them passed the first
// time, the first and the last result; per value (item code) how often it
// was shown, vetoed and shown as an advisory. Read in batches
// (ResultBatches): a range of any size costs a batch of memory and a day's
// vehicles.
//
// A retest is the same vehicle tested again at the same device group that
// day (the vehicle as its transfer name names it, reports/VehicleKey); it
// counts for the group and for the operator who did it. A vehicle's first
// result at a group that day is its first test there: it passed the first
// time when none of its values was shown as a veto. The first-time pass
// rate of a group is that share of the vehicles it tested; of an operator,
// of the first tests the operator did; of the whole, of every first test.
#ifndef BRENNA_REPORTS_DAYREPORT_H
#define BRENNA_REPORTS_DAYREPORT_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/ResultBatches.h"
#include "reports/VehicleKey.h"

namespace reports {

// The longest range a report takes, in days.
inline constexpr int kMaxReportDays = 366;

struct ReportCounts {
  std::int64_t results = 0;
  std::int64_t vetoed = 0;       // results with at least one value shown as a veto
  std::int64_t advisory = 0;     // results with at least one value shown as an advisory
  std::int64_t retests = 0;      // results of a vehicle tested there before that day
  std::int64_t firstTests = 0;   // a vehicle's first result at a group that day
  std::int64_t firstPassed = 0;  // of those, without a veto
  std::string first;             // local time shown "YYYY-MM-DD hh:mm:ss.mmm" of the first result
  std::string last;              // and of the last
};

struct GroupLine {
  std::string group;  // UTF-8 caption; "" no group
  ReportCounts counts;
};

struct OperatorLine {
  std::string operatorText;         // GBK, as shown
  std::vector<std::string> groups;  // where it showed results, in the window's order
  ReportCounts counts;
};

struct CodeLine {
  int code = 0;
  int displayId = 0;
  std::string group;  // UTF-8 caption of the display's group
  const char* name = "";
  std::int64_t values = 0;
  std::int64_t vetoes = 0;
  std::int64_t advisories = 0;
};

struct DayReport {
  std::string from;  // "YYYY-MM-DD": the first day
  std::string to;    // and the last (the same for a day's report)
  ReportCounts total;
  std::vector<GroupLine> groups;        // the window's groups in its order, then results of none
  std::vector<OperatorLine> operators;  // by operator
  std::vector<CodeLine> codes;          // the values shown, in the routing table's order
};

// What a report's results add up to, read in the order shown, day after
// day: a line's report from its archive, and each line's of the company
// (brenna-web --company) from the company database, whose results come
// with their verdicts counted where they were kept and without values.
class ReportTally {
 public:
  explicit ReportTally(const VehicleRule& rule) : rule_(rule) {}

  // A result with its items: its values counted per item code, its
  // verdicts from them.
  void Add(const ResultWithItems& r);
  // A result without its values: whether one was shown as a veto, as an
  // advisory.
  void Add(const archive::ResultRow& row, bool vetoed, bool advisory);
  // The total and the tables in their order, into *report.
  void Finish(DayReport* report);

 private:
  // Notes the result's vehicle at its group on its day: true for its first
  // test there that day, false for a retest. Only the newest day's
  // vehicles are kept.
  bool FirstTestAt(const archive::ResultRow& r);

  const VehicleRule& rule_;
  ReportCounts total_;
  std::map<std::string, ReportCounts> groups_;
  std::map<std::string, OperatorLine> operators_;
  std::map<int, CodeLine> codes_;
  std::string day_;
  std::set<std::pair<std::string, std::string>> tested_;  // (group, vehicle) of day_
};

// The report of the local days `from` to `to` (the same day for one day's
// report), vehicles told by `rule`. False with *error when the archive
// cannot be read.
bool BuildReport(const std::shared_ptr<archive::ArchiveReader>& reader, const VehicleRule& rule,
                 const std::string& from, const std::string& to, DayReport* report,
                 std::string* error);

inline bool BuildDayReport(const std::shared_ptr<archive::ArchiveReader>& reader,
                           const VehicleRule& rule, const std::string& day, DayReport* report,
                           std::string* error) {
  return BuildReport(reader, rule, day, day, report, error);
}

// Days `from` to `to` ("YYYY-MM-DD") as a range a report takes: `to` not
// before `from`, at most kMaxReportDays days. False with *error (in
// English; *days the number of days otherwise).
bool CheckReportRange(const std::string& from, const std::string& to, int* days,
                      std::string* error);

// "7.1 %": a share of a count, one decimal; "-" of none.
std::string Percent(std::int64_t part, std::int64_t whole);

}  // namespace reports

#endif  // BRENNA_REPORTS_DAYREPORT_H
