// ResultBatches - the results a filter selects, with their items, read in
// batches of 1,000, each in a short read of its own, so that a large or
// slow reader (a day's CSV file, the day's report) never holds the archive
// and never holds more than a batch in memory. The ids the filter selects
// are found once at the start (one pass over an index); each batch then
// reads on along them in id order, and its items along the item table's
// key, so a day of 300,000 results is read once and never sorted. Results
// shown after the first batch are not in it. The filter's limit, if any,
// is kept: at most that many results in all.
#ifndef BRENNA_REPORTS_RESULTBATCHES_H
#define BRENNA_REPORTS_RESULTBATCHES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"

namespace reports {

// Results per read.
inline constexpr std::int64_t kBatch = 1000;

struct ResultWithItems {
  archive::ResultRow row;
  std::vector<archive::RecordItem> items;
};

class ResultBatches {
 public:
  ResultBatches(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter);
  ResultBatches(const ResultBatches&) = delete;
  ResultBatches& operator=(const ResultBatches&) = delete;

  // The next results in the order shown into *batch (at most kBatch);
  // *done once it was the last. False with *error when the archive could
  // not be read.
  bool Next(std::vector<ResultWithItems>* batch, bool* done, std::string* error);

 private:
  std::shared_ptr<archive::ArchiveReader> reader_;
  archive::ResultFilter filter_;
  std::int64_t left_ = -1;  // results still wanted; -1: all
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace reports

#endif  // BRENNA_REPORTS_RESULTBATCHES_H
