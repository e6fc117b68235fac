#include "web/CompanyCsv.h"

#include <utility>

#include "archive/ArchiveTime.h"
#include "reports/ArchiveText.h"
#include "reports/ResultBatches.h"
#include "web/CompanyPages.h"
#include "web/PageParts.h"
#include "web/ReportPage.h"
#include "web/WebText.h"

namespace web {

namespace {

// Each of a line's rows with `tail` (its last cells) before its line end.
std::string WithTail(const std::string& rows, const std::string& tail) {
  std::string out;
  out.reserve(rows.size() + rows.size() / 8);
  for (std::size_t start = 0; start < rows.size();) {
    const std::size_t end = rows.find("\r\n", start);
    if (end == std::string::npos) break;
    out.append(rows, start, end - start).append(tail).append("\r\n");
    start = end + 2;
  }
  return out;
}

}  // namespace

bool ParseCompanyCsvQuery(const Query& query, std::int64_t now, std::vector<CompanyLine>* lines,
                          CompanyQuery* out, reports::CsvRowsOf* rows, std::string* error) {
  *out = CompanyQuery();
  std::string from, to;
  if (!ParseReportDays(query, now, &from, &to, error) || !NoVehicle(query, error)) return false;
  const std::string rowsText = Param(query, "rows");
  if (!rowsText.empty() && rowsText != "result" && rowsText != "value") {
    *error = "“rows”应为 result（每条结果一行）或 value（每个数值一行）";
    return false;
  }
  *rows = rowsText == "result" ? reports::CsvRowsOf::kResult : reports::CsvRowsOf::kValue;
  // The rest as a line's list takes it.
  Query filters;
  for (const char* name : {"group", "operator", "transfer", "verdict"})
    if (!Param(query, name).empty()) filters.emplace(name, Param(query, name));
  if (!ParseResultsQuery(filters, now, &out->filter, error)) return false;
  out->filter.day = from;
  out->filter.lastDay = to;
  if (!Param(query, "line").empty()) {
    const CompanyLine* line = QueryLine(*lines, query);
    if (line == nullptr) {
      *error = "公司数据库中没有线路“" + CleanUtf8(Param(query, "line").substr(0, kMaxField)) + "”";
      return false;
    }
    *lines = {*line};
  }
  return true;
}

CompanyCsv::CompanyCsv(CompanySource& source, std::vector<CompanyLine> lines, CompanyQuery query,
                       reports::CsvRowsOf rows, reports::VehicleRule vehicles)
    : source_(source),
      lines_(std::move(lines)),
      query_(std::move(query)),
      rows_(rows),
      vehicles_(std::move(vehicles)) {
  query_.filter.newestFirst = false;
  query_.filter.limit = reports::kBatch;
  query_.from = CompanyKey();
}

bool CompanyCsv::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  if (!started_) {
    started_ = true;
    *chunk = WithTail(reports::CsvHeaderOf(rows_), ",站点,线路");
  }
  std::vector<CompanyResult> batch;
  // Lines without results in the range are passed over within one piece.
  while (line_ < lines_.size() && batch.empty()) {
    const CompanyLine& line = lines_[line_];
    query_.lineId = line.lineId;
    if (!source_.Results(query_, &batch, error)) return false;
    const std::string tail = "," + reports::CsvTextCell(reports::FromUtf8(line.site)) + "," +
                             reports::CsvTextCell(reports::FromUtf8(line.line));
    for (const CompanyResult& r : batch)
      *chunk += WithTail(reports::CsvRowsOfResult(rows_, r.result, vehicles_), tail);
    if (static_cast<std::int64_t>(batch.size()) < query_.filter.limit) {
      ++line_;
      query_.from = CompanyKey();
    } else {
      query_.from = batch.back().key;
    }
  }
  *done = line_ >= lines_.size();
  return true;
}

}  // namespace web
