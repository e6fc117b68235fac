#include "reports/ResultBatches.h"

#include <algorithm>
#include <utility>

namespace reports {

ResultBatches::ResultBatches(std::shared_ptr<archive::ArchiveReader> reader,
                             archive::ResultFilter filter)
    : reader_(std::move(reader)), filter_(std::move(filter)) {
  if (filter_.limit > 0) left_ = filter_.limit;
  filter_.limit = left_ >= 0 ? std::min(left_, kBatch) : kBatch;
  filter_.newestFirst = false;
}

bool ResultBatches::Next(std::vector<ResultWithItems>* batch, bool* done, std::string* error) {
  batch->clear();
  *done = finished_;
  if (finished_) return true;
  if (!started_) {
    started_ = true;
    std::int64_t first = 0, last = 0;
    if (!reader_->ResultSpan(filter_, &first, &last, error)) return false;
    if (last == 0) {
      *done = finished_ = true;
      return true;
    }
    filter_.afterId = first - 1;
    filter_.throughId = last;
  }
  const bool ok = reader_->ListResults(
      filter_,
      [&](const archive::ResultRow& r) {
        batch->push_back({r, {}});
        return true;
      },
      error);
  if (!ok) return false;
  if (!batch->empty()) {
    // The items of the batch's span, met in the same order as its results
    // (results of the span the filter left out are passed over).
    std::size_t at = 0;
    const bool items = reader_->ListItems(
        batch->front().row.id, batch->back().row.id,
        [&](std::int64_t resultId, const archive::RecordItem& item) {
          while (at < batch->size() && (*batch)[at].row.id < resultId) ++at;
          if (at < batch->size() && (*batch)[at].row.id == resultId)
            (*batch)[at].items.push_back(item);
          return true;
        },
        error);
    if (!items) return false;
    filter_.afterId = batch->back().row.id;
  }
  const std::int64_t asked = filter_.limit;
  if (left_ >= 0) {
    left_ -= static_cast<std::int64_t>(batch->size());
    filter_.limit = std::min(left_, kBatch);
  }
  finished_ = static_cast<std::int64_t>(batch->size()) < asked || left_ == 0 ||
              filter_.afterId >= filter_.throughId;
  *done = finished_;
  return true;
}

}  // namespace reports
