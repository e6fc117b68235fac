// CompanyReport - the company's /report (brenna-web --company): the
// report of a day or of a range of days (from=DAY&to=DAY, day=DAY; today
// without either; as a line's report takes them), of every line or of one
// site's (site=SITE). Each line's is made by the tally of a line's own
// report (reports/DayReport: results, vetoes, advisories, retests by
// vehicle, vehicles first tested and first passed, first and last, per
// device group and per operator) from the line's results in the company
// database, read in batches without their values (their verdicts were
// counted when they were shipped), so a month of a hundred lines costs a
// line's report of memory. The page: the lines, each site's summed and every line's; the
// device groups with the lines side by side; each line's operators. A
// report that takes longer than kCompanyReportLimit is given up and said
// so, rather than kept waiting on.
#ifndef BRENNA_WEB_COMPANYREPORT_H
#define BRENNA_WEB_COMPANYREPORT_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "reports/DayReport.h"
#include "web/CompanySource.h"
#include "web/Pages.h"

namespace web {

inline constexpr std::chrono::seconds kCompanyReportLimit{120};

struct LineReport {
  CompanyLine line;
  reports::DayReport report;
};

// The report of each of `lines` over the local days `from` to `to`. False
// with *error when the database cannot be read or `deadline` passed.
// Vehicles told by `vehicles`.
bool BuildCompanyReport(CompanySource& source, const std::vector<CompanyLine>& lines,
                        const reports::VehicleRule& vehicles, const std::string& from,
                        const std::string& to, std::chrono::steady_clock::time_point deadline,
                        std::vector<LineReport>* reports, std::string* error);

Page CompanyReportPage(CompanySource& source, const std::vector<CompanyLine>& lines,
                       const reports::VehicleRule& vehicles, const Query& query,
                       std::int64_t nowUtcMs);

}  // namespace web

#endif  // BRENNA_WEB_COMPANYREPORT_H
