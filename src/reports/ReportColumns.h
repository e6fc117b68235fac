// ReportColumns - the one table of a report's columns (reports/DayReport):
// the page (/report), its CSV file (/report.csv, brenna-history --report
// --csv) and brenna-history's table show the same figures under the same
// columns, each heading once in Chinese (page and file) and once in
// English (the terminal, as brenna-history's other output).
#ifndef BRENNA_REPORTS_REPORTCOLUMNS_H
#define BRENNA_REPORTS_REPORTCOLUMNS_H

#include <string>
#include <vector>

#include "reports/DayReport.h"

namespace reports {

// How a cell is written: for reading a day (times of day), a range (the
// date with the time) or a spreadsheet (full times, rates a spreadsheet
// reads as percentages).
enum class CellForm { kDay, kRange, kCsv };

// A column of the group and operator tables.
struct CountColumn {
  const char* name;      // how docs and code call it
  const char* header;    // the page's and the file's heading (UTF-8)
  const char* terminal;  // brenna-history's heading
  std::string (*cell)(const ReportCounts& counts, CellForm form);
};
const std::vector<CountColumn>& CountColumns();

// A column of the table of values.
struct CodeColumn {
  const char* name;
  const char* header;
  const char* terminal;
  std::string (*cell)(const CodeLine& line);  // UTF-8 from the program's own tables
};
const std::vector<CodeColumn>& CodeColumns();

// The report as a CSV file: UTF-8 with a byte order mark, lines ended CR
// LF, the heading "设备组" and the count columns, then one row per device
// group as the report lists them.
std::string ReportCsv(const DayReport& report);

}  // namespace reports

#endif  // BRENNA_REPORTS_REPORTCOLUMNS_H
