// ReportPage - /report, the report of a day (day=YYYY-MM-DD, today by
// default) or of a range of days (from=DAY&to=DAY, a week or a month:
// reports/DayReport) as a page: per device group and per operator the
// results, vetoes, advisories, retests, vehicles first tested and first
// passed, first and last result; per value how often it was shown, vetoed
// and shown as an advisory. The columns are reports/ReportColumns', as
// brenna-history prints them. It prints on one A4 page for a normal day,
// naming the line (the print stylesheet leaves out the bar and the form);
// the browser's print makes the PDF. /report.csv is the same figures, one
// row per group.
#ifndef BRENNA_WEB_REPORTPAGE_H
#define BRENNA_WEB_REPORTPAGE_H

#include <cstdint>
#include <memory>
#include <string>

#include "archive/ArchiveReader.h"
#include "reports/ReportColumns.h"
#include "reports/VehicleKey.h"
#include "web/Pages.h"

namespace web {

// The count columns' heads, and a row's cells each labelled with its
// heading (a phone shows the heading beside each figure); also the
// company's report's (web/CompanyReport).
std::string ReportCountHeads();
std::string ReportCountCells(const reports::ReportCounts& counts, reports::CellForm form);
// The summary of a report's total ("共 1236 条结果，其中 ..."), as HTML,
// and the paragraph that says what its words count.
std::string ReportSummary(const reports::ReportCounts& total, reports::CellForm form);
std::string ReportNote();

// The days a report's query names: day=, or from= and to=. False with a
// message naming the field.
bool ParseReportDays(const Query& query, std::int64_t nowUtcMs, std::string* from, std::string* to,
                     std::string* error);

Page ReportPage(const std::shared_ptr<archive::ArchiveReader>& reader, const Query& query,
                std::int64_t nowUtcMs,
                const reports::VehicleRule& vehicles = reports::VehicleRule());

}  // namespace web

#endif  // BRENNA_WEB_REPORTPAGE_H
