// CompanyCsv - the company's /results.csv: the results of every line (or of
// one) over a range of days, in a line's own columns (reports/ResultColumns:
// the same cells, made safe the same way, as brenna-web and brenna-history
// write for a line) with the site and the line after them, so a
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

#include "web/CompanySource.h"
#include "web/Pages.h"

namespace web {

// The range of days a CSV file or a report names: from=DAY&to=DAY (to
// the same day when left out), or day=DAY; today without either; at most
// 366 days. False with a message naming the field.
bool ParseCompanyDays(const Query& query, std::int64_t nowUtcMs, std::string* from, std::string* to,
                      std::string* error);

// The CSV file's query: its days, the line (line=SITE/LINE; every line
// without one) and a line's list filters (group, operator, transfer,
// verdict). *lines is narrowed to the line named. False with a message.
bool ParseCompanyCsvQuery(const Query& query, std::int64_t nowUtcMs,
                          std::vector<CompanyLine>* lines, CompanyQuery* out, std::string* error);

class CompanyCsv {
 public:
  CompanyCsv(CompanySource& source, std::vector<CompanyLine> lines, CompanyQuery query);
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
  std::size_t line_ = 0;  // the line being read
  bool started_ = false;
};

}  // namespace web

#endif  // BRENNA_WEB_COMPANYCSV_H
