// ReportText - brenna-history --report: the report of a day or of a range
// of days (reports/DayReport) as tables for a terminal, under the columns
// brenna-web's page shows (reports/ReportColumns), or with --csv as the
// file brenna-web's /report.csv sends.
#ifndef BRENNA_HISTORY_REPORTTEXT_H
#define BRENNA_HISTORY_REPORTTEXT_H

#include <cstdio>
#include <memory>
#include <string>

#include "archive/ArchiveReader.h"
#include "history/HistoryOptions.h"
#include "reports/VehicleKey.h"

namespace history {

// Prints the report `options` asks for; an exit status (HistoryReport.h).
int PrintReport(const std::shared_ptr<archive::ArchiveReader>& reader,
                const HistoryOptions& options, const reports::VehicleRule& rule, std::FILE* out,
                std::string* error);

}  // namespace history

#endif  // BRENNA_HISTORY_REPORTTEXT_H
