// CompanyCsv - the company's /results.csv: the results of every line (or of
// one) over a range of days, in a line's own columns (reports/ResultColumns:
// the same cells, made safe the same way, as brenna-web and brenna-history
// write for a line; a row per value, or per result with rows=result) with
// the site and the line after them, so a
// spreadsheet made for a line's file reads this one too. Line after line
// (by site and line), each in the order shown. Made in pieces: a batch of
// results with their values, read in one statement of its own each (the
// next batch along the line's key), so a download of any size holds one
// batch in memory and no connection between pieces.
#ifndef BRENNA_WEB_COMPANYCSV_H
#define BRENNA_WEB_COMPANYCSV_H

#include <cstdint>
#include <string>
#include <vector>

#include "reports/CsvExport.h"
#include "web/CompanySource.h"
#include "web/Pages.h"

namespace web {

// The CSV file's query: its days (as a report's: from=DAY&to=DAY, or
// day=DAY; today without either), the line (line=SITE/LINE; every line
// without one), a line's list filters (group, operator, transfer, verdict)
// and its rows (rows=value, the default, or result). *lines is narrowed to
// the line named. False with a message.
bool ParseCompanyCsvQuery(const Query& query, std::int64_t nowUtcMs,
                          std::vector<CompanyLine>* lines, CompanyQuery* out,
                          reports::CsvRowsOf* rows, std::string* error);

class CompanyCsv {
 public:
  // Vehicles told by `vehicles`, as a line's file tells them.
  CompanyCsv(CompanySource& source, std::vector<CompanyLine> lines, CompanyQuery query,
             reports::CsvRowsOf rows, reports::VehicleRule vehicles);
  CompanyCsv(const CompanyCsv&) = delete;
  CompanyCsv& operator=(const CompanyCsv&) = delete;

  // The next piece of the file into *chunk (the header comes with the
  // first); *done once it was the last. False with *error when the
  // database could not be read.
  bool Next(std::string* chunk, bool* done, std::string* error);

 private:
  CompanySource& source_;
  const std::vector<CompanyLine> lines_;
  CompanyQuery query_;
  const reports::CsvRowsOf rows_;
  const reports::VehicleRule vehicles_;
  std::size_t line_ = 0;  // the line being read
  bool started_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYCSV_H
