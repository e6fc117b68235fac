#include "web/CsvExport.h"

#include <utility>

#include "web/Pages.h"

namespace web {

CsvExport::CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter)
    : reader_(std::move(reader)), filter_(std::move(filter)) {
  filter_.limit = kCsvBatch;
}

bool CsvExport::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  *done = false;
  if (!started_) {
    started_ = true;
    *chunk = CsvHeader();
    std::int64_t first = 0, last = 0;
    if (!reader_->ResultSpan(filter_, &first, &last, error)) return false;
    if (last == 0) {
      *done = true;
      return true;
    }
    filter_.afterId = first - 1;
    filter_.throughId = last;
  }
  std::int64_t rows = 0;
  const bool ok = reader_->ListResults(
      filter_,
      [&](const archive::ResultRow& r) {
        *chunk += CsvLine(r);
        filter_.afterId = r.id;
        ++rows;
        return true;
      },
      error);
  if (!ok) return false;
  *done = rows < kCsvBatch || filter_.afterId >= filter_.throughId;
  return true;
}

}  // namespace web
