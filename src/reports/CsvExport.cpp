#include "reports/CsvExport.h"

#include <utility>

#include "reports/ResultColumns.h"

namespace reports {

CsvExport::CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter,
                     VehicleRule rule, CsvRowsOf rows)
    : batches_(std::move(reader), std::move(filter)), rule_(std::move(rule)), rows_(rows) {}

bool CsvExport::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  if (!started_) {
    started_ = true;
    *chunk = CsvHeader(rows_ == CsvRowsOf::kValue ? ResultColumns() : PerResultColumns());
  }
  if (!batches_.Next(&batch_, done, error)) return false;
  for (const ResultWithItems& r : batch_) {
    const std::string vehicle = rule_.KeyOf(r.row.transfer);
    *chunk += rows_ == CsvRowsOf::kValue ? CsvRows(r.row, r.items, vehicle)
                                         : CsvResultRow(r.row, r.items, vehicle);
  }
  return true;
}

}  // namespace reports
