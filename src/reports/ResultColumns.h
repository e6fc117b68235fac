// ResultColumns - the one table of the columns a result's values are
// written in for a spreadsheet: brenna-history --csv and brenna-web's
// /results.csv write the same bytes from it. One row per value the window
// showed (docs/archive.md says why), each with its result's columns; a
// result that showed no value gets one row with the value's columns empty.
// UTF-8 with a byte order mark (so that a spreadsheet reads the Chinese),
// lines ended CR LF, cells made safe by ArchiveText: no formula from a
// station, and an operator such as 0612 kept text.
#ifndef BRENNA_REPORTS_RESULTCOLUMNS_H
#define BRENNA_REPORTS_RESULTCOLUMNS_H

#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "reports/ShownValues.h"

namespace reports {

// One row: a result, and one of its values (null: it showed none, or the
// row is the result's own); its vehicle (GBK, reports/VehicleKey) and, for
// a row per result, its verdicts.
struct ValueRow {
  const archive::ResultRow* result;
  const ShownValue* value;
  const std::string* vehicle;
  const VerdictSummary* verdicts = nullptr;
};

struct ResultColumn {
  const char* name;                          // how docs and code call it
  const char* header;                        // the header line's text (UTF-8)
  std::string (*cell)(const ValueRow& row);  // the cell, ready for the file
};

// The columns, in the file's order: one row per value shown. New columns
// go at the end (spreadsheets made for the file read it by position).
const std::vector<ResultColumn>& ResultColumns();
// The columns of the file with one row per result (/results.csv?rows=result,
// brenna-history --csv --rows result): its verdict, how many of its values
// were shown as vetoes and as advisories, and the result's columns above.
const std::vector<ResultColumn>& PerResultColumns();

// The byte order mark and the header line.
std::string CsvHeader(const std::vector<ResultColumn>& columns);
// The rows of one result: one per value it showed.
std::string CsvRows(const archive::ResultRow& result, const std::vector<archive::RecordItem>& items,
                    const std::string& vehicle);
// Its one row in the file with a row per result.
std::string CsvResultRow(const archive::ResultRow& result,
                         const std::vector<archive::RecordItem>& items, const std::string& vehicle);

}  // namespace reports

#endif  // BRENNA_REPORTS_RESULTCOLUMNS_H
