// ReportPage - /report?day=YYYY-MM-DD, the day's report (reports/DayReport)
// as a page: per device group and per operator the results, vetoes,
// advisories, retests, first and last result; per value how often it was
// shown and vetoed. It prints on one A4 page for a normal day (the print
// stylesheet leaves out the bar and the form); the browser's print makes
// the PDF.
#ifndef BRENNA_WEB_REPORTPAGE_H
#define BRENNA_WEB_REPORTPAGE_H

#include <cstdint>
#include <memory>

#include "archive/ArchiveReader.h"
#include "reports/DayReport.h"
#include "web/Pages.h"

namespace web {

// The count columns of a report's tables (results, vetoes, their share,
// advisories, retests, first and last result): their heads, and a row's
// cells; first and last with their day when the report is of `days`.
std::string ReportCountHeads();
std::string ReportCountCells(const reports::ReportCounts& counts, bool days);

Page ReportPage(const std::shared_ptr<archive::ArchiveReader>& reader, const Query& query,
                std::int64_t nowUtcMs);

}  // namespace web

#endif  // BRENNA_WEB_REPORTPAGE_H
