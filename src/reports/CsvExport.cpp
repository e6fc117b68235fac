#include "reports/CsvExport.h"

#include <utility>

#include "reports/ResultColumns.h"

namespace reports {

CsvExport::CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter)
    : batches_(std::move(reader), std::move(filter)) {}

bool CsvExport::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  if (!started_) {
    started_ = true;
    *chunk = CsvHeader();
  }
  if (!batches_.Next(&batch_, done, error)) return false;
  for (const ResultWithItems& r : batch_) *chunk += CsvRows(r.row, r.items);
  return true;
}

}  // namespace reports
