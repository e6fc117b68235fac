// CsvExport - the CSV file of the results a filter selects, in pieces: the
// header, then a piece per batch of results (ResultBatches), so that a
// download or brenna-history's output of a busy day holds at most a batch
// in memory and never the archive. brenna-web sends each piece as it is
// made; brenna-history prints it.
#ifndef BRENNA_REPORTS_CSVEXPORT_H
#define BRENNA_REPORTS_CSVEXPORT_H

#include <memory>
#include <string>
#include <vector>

#include "reports/ResultBatches.h"
#include "reports/VehicleKey.h"

namespace reports {

// The file's rows: one per value shown (the spreadsheets' file), or one
// per result.
enum class CsvRowsOf { kValue, kResult };

// The header of a file of `rows`, and a result's rows there (its vehicle
// told), as every file of results writes them (also brenna-web
// --company's, web/CompanyCsv).
std::string CsvHeaderOf(CsvRowsOf rows);
std::string CsvRowsOfResult(CsvRowsOf rows, const ResultWithItems& result, const VehicleRule& rule);

class CsvExport {
 public:
  CsvExport(std::shared_ptr<archive::ArchiveReader> reader, archive::ResultFilter filter,
            VehicleRule rule, CsvRowsOf rows = CsvRowsOf::kValue);
  CsvExport(const CsvExport&) = delete;
  CsvExport& operator=(const CsvExport&) = delete;

  // The next piece of the file into *chunk (the header comes with the
  // first); *done once it was the last. False with *error when the archive
  // could not be read.
  bool Next(std::string* chunk, bool* done, std::string* error);

 private:
  ResultBatches batches_;
  VehicleRule rule_;
  CsvRowsOf rows_;
  bool started_ = false;
  std::vector<ResultWithItems> batch_;
};

}  // namespace reports

#endif  // BRENNA_REPORTS_CSVEXPORT_H
