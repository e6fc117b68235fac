// HistoryReport - what brenna-history prints: the list of results with
// their vetoes and advisories, one result with its values, the panel at a
// moment, the runs, the day's report; as aligned text for a terminal or as
// CSV (the list: the very file brenna-web serves). Everything from the
// archive passes through reports/ArchiveText on its way out.
#ifndef BRENNA_HISTORY_HISTORYREPORT_H
#define BRENNA_HISTORY_HISTORYREPORT_H

#include <cstdio>
#include <memory>
#include <string>

#include "archive/ArchiveReader.h"
#include "history/HistoryOptions.h"
#include "reports/VehicleKey.h"

namespace history {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kUnreadable = 1;
inline constexpr int kBadArguments = 2;
inline constexpr int kNothing = 3;

// Runs the command of `options` on the open archive, printing to `out`;
// vehicles are told by `rule`. The exit status; *error: why, for standard
// error, when it is not kDone.
int RunReport(const std::shared_ptr<archive::ArchiveReader>& reader, const HistoryOptions& options,
              const reports::VehicleRule& rule, std::FILE* out, std::string* error);

}  // namespace history

#endif  // BRENNA_HISTORY_HISTORYREPORT_H
