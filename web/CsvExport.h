// CsvExport - /results.csv in pieces: the header, then the results the
// filter selects in batches of 1,000, each read in a short transaction of
// its own, so a large or slow download never holds the archive. The ids
// the filter selects are found once at the start; each batch then reads on
// from where the last one stopped within them, in id order, so a day of
// 300,000 results is read once, never sorted again per batch. Results
// shown after the download began are not in it.
#ifndef BRENNA_WEB_CSVEXPORT_H
#define BRENNA_WEB_CSVEXPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "archive/ArchiveReader.h"

namespace web {

// Results per read.
inline constexpr std::int64_t kCsvBatch = 1000;

class CsvExport {
 public:
  CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter);
  CsvExport(const CsvExport&) = delete;
  CsvExport& operator=(const CsvExport&) = delete;

  // The next piece of the file into *chunk (the header comes with the
  // first); *done once it was the last. False with *error when the archive
  // could not be read.
  bool Next(std::string* chunk, bool* done, std::string* error);

 private:
  std::shared_ptr<archive::ArchiveReader> reader_;
  archive::ResultFilter filter_;
  bool started_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_CSVEXPORT_H
