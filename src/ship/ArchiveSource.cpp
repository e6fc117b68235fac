#include "ship/ArchiveSource.h"

#include <limits>

#include "archive/ArchiveTime.h"

namespace ship {

bool ArchiveSource::Open(std::string* error) {
  Close();
  // Which file this is, taken first: a file replaced between this and the
  // opening below is noticed at the next look.
  std::string resolved;
  if (ResolveFile(path_, &resolved) != FileFault::kNone ||
      IdentifyFile(resolved, &file_) != FileFault::kNone)
    file_ = FileIdentity();
  auto reader = std::make_shared<archive::ArchiveReader>();
  if (!mark_.Open(path_, error) || !reader->Open(path_, error)) {
    mark_.Close();
    return false;
  }
  reader_ = std::move(reader);
  dataVersion_ = -1;
  return true;
}

void ArchiveSource::Close() {
  reader_.reset();
  mark_.Close();
}

bool ArchiveSource::Replaced() const {
  std::string resolved;
  FileIdentity there;
  if (ResolveFile(path_, &resolved) != FileFault::kNone) return true;
  return IdentifyFile(resolved, &there) == FileFault::kNone && !there.SameFile(file_);
}

bool ArchiveSource::Changed() {
  const std::int64_t now = reader_ != nullptr ? reader_->DataVersion() : -1;
  const bool changed = now != dataVersion_ || now < 0;
  dataVersion_ = now;
  return changed;
}

bool ArchiveSource::ReadAfter(std::int64_t afterId, int limit,
                              std::vector<reports::ResultWithItems>* out, std::string* error) {
  out->clear();
  archive::ResultFilter filter;
  filter.afterId = afterId;
  filter.limit = limit;
  reports::ResultBatches batches(reader_, filter);
  std::vector<reports::ResultWithItems> batch;
  for (bool done = false; !done;) {
    if (!batches.Next(&batch, &done, error)) return false;
    out->insert(out->end(), batch.begin(), batch.end());
  }
  return true;
}

bool ArchiveSource::RunsFrom(std::int64_t fromId, std::vector<archive::RunRow>* out,
                             std::string* error) {
  out->clear();
  return reader_->Runs(
      std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
      [&](const archive::RunRow& r) {
        if (r.id >= fromId) out->push_back(r);
        return true;
      },
      error);
}

bool ArchiveSource::ShownTimes(std::int64_t throughId,
                               std::vector<std::pair<std::int64_t, std::int64_t>>* out,
                               std::string* error) {
  out->clear();
  archive::ResultFilter filter;
  filter.throughId = throughId;
  return reader_->ListResults(
      filter,
      [&](const archive::ResultRow& r) {
        out->emplace_back(r.id, r.shownUtcMs);
        return true;
      },
      error);
}

bool ArchiveSource::Mark(std::int64_t throughId, std::string* error) {
  return mark_.Write(throughId, archive::NowUtcMs(), error);
}

}  // namespace ship
