#include "reports/CsvExport.h"

#include <utility>

#include "reports/ResultColumns.h"

namespace reports {

std::string CsvHeaderOf(CsvRowsOf rows) {
  return CsvHeader(rows == CsvRowsOf::kValue ? ResultColumns() : PerResultColumns());
}

std::string CsvRowsOfResult(CsvRowsOf rows, const ResultWithItems& r, const VehicleRule& rule) {
  const std::string vehicle = rule.KeyOf(r.row.transfer);
  return rows == CsvRowsOf::kValue ? CsvRows(r.row, r.items, vehicle)
                                   : CsvResultRow(r.row, r.items, vehicle);
}

CsvExport::CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter,
                     VehicleRule rule, CsvRowsOf rows)
    : batches_(std::move(reader), std::move(filter)), rule_(std::move(rule)), rows_(rows) {}

bool CsvExport::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  if (!started_) {
    started_ = true;
    *chunk = CsvHeaderOf(rows_);
  }
  if (!batches_.Next(&batch_, done, error)) return false;
  for (const ResultWithItems& r : batch_) *chunk += CsvRowsOfResult(rows_, r, rule_);
  return true;
}

}  // namespace reports
