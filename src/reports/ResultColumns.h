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

// One row: a result, and one of its values (null: it showed none).
struct ValueRow {
  const archive::ResultRow* result;
  const ShownValue* value;
};

struct ResultColumn {
  const char* name;                          // how docs and code call it
  const char* header;                        // the header line's text (UTF-8)
  std::string (*cell)(const ValueRow& row);  // the cell, ready for the file
};

// The columns, in the file's order.
const std::vector<ResultColumn>& ResultColumns();

// The byte order mark and the header line.
std::string CsvHeader();
// The rows of one result.
std::string CsvRows(const archive::ResultRow& result,
                    const std::vector<archive::RecordItem>& items);

}  // namespace reports

#endif  // BRENNA_REPORTS_RESULTCOLUMNS_H
