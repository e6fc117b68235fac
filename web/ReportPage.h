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
#include "web/Pages.h"

namespace web {

Page ReportPage(const std::shared_ptr<archive::ArchiveReader>& reader, const Query& query,
                std::int64_t nowUtcMs);

}  // namespace web

#endif  // BRENNA_WEB_REPORTPAGE_H
