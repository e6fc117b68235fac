// DayReport - the day's report, for brenna-history --report and brenna-web's
// /report: per device group and per operator the results, those with a
// veto, those with an advisory, the retests, the first and the last result;
// per value (item code) how often it was shown and how often vetoed. Read
// in batches (ResultBatches): a day of any size costs a batch of memory.
//
// A retest is the same vehicle tested again: a result shown at most
// kRetestWindowMs after the one before it at the same device group, by the
// same operator. A station's test of the next vehicle takes longer than
// that (drive on, test, drive off); the record names no vehicle, so the
// operator and the time are what tell.
#ifndef BRENNA_REPORTS_DAYREPORT_H
#define BRENNA_REPORTS_DAYREPORT_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/ResultBatches.h"

namespace reports {

inline constexpr std::int64_t kRetestWindowMs = 120000;

struct ReportCounts {
  std::int64_t results = 0;
  std::int64_t vetoed = 0;    // results with at least one value shown as a veto
  std::int64_t advisory = 0;  // results with at least one value shown as an advisory
  std::int64_t retests = 0;
  std::string first;  // local time shown "YYYY-MM-DD hh:mm:ss.mmm" of the first result
  std::string last;   // and of the last
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
  std::string day;  // "YYYY-MM-DD"
  ReportCounts total;
  std::vector<GroupLine> groups;        // the window's groups in its order, then results of none
  std::vector<OperatorLine> operators;  // by operator
  std::vector<CodeLine> codes;          // the values shown that day, in the routing table's order
};

// What a report's results add up to, as they are read in the order shown:
// the day's report's, and the company's of each line (brenna-web
// --company), whose results come with their verdicts counted and without
// their values.
class ReportTally {
 public:
  // A result with its items: its values counted per item code, its
  // verdicts from them.
  void Add(const reports::ResultWithItems& r);
  // A result whose values were counted where it was kept: whether one was
  // shown as a veto, as an advisory.
  void Add(const archive::ResultRow& row, bool vetoed, bool advisory);
  // The tables in their order, into *report.
  void Finish(DayReport* report);

 private:
  struct Seen {
    std::string operatorText;
    std::int64_t utcMs = 0;
    bool any = false;
  };
  ReportCounts total_;
  std::map<std::string, ReportCounts> groups_;
  std::map<std::string, OperatorLine> operators_;
  std::map<int, CodeLine> codes_;
  std::map<std::string, Seen> lastOfGroup_;
};

// The report of local day `day`. False with *error when the archive
// cannot be read.
bool BuildDayReport(const std::shared_ptr<archive::ArchiveReader>& reader, const std::string& day,
                    DayReport* report, std::string* error);

// "7.1 %": a share of a count, one decimal; "-" of none.
std::string Percent(std::int64_t part, std::int64_t whole);

}  // namespace reports

#endif  // BRENNA_REPORTS_DAYREPORT_H
