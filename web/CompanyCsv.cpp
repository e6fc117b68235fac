#include "web/CompanyCsv.h"

#include <utility>

#include "archive/ArchiveTime.h"
#include "reports/ArchiveText.h"
#include "reports/ResultBatches.h"
#include "reports/ResultColumns.h"
#include "web/CompanyPages.h"
#include "web/PageParts.h"
#include "web/WebText.h"

namespace web {

namespace {

constexpr int kMaxDays = 366;
constexpr std::int64_t kMsPerDay = 24LL * 3600 * 1000;

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

bool ParseCompanyDays(const Query& query, std::int64_t now, std::string* from, std::string* to,
                      std::string* error) {
  *from = Param(query, "day").empty() ? Param(query, "from") : Param(query, "day");
  *to = Param(query, "day").empty() ? Param(query, "to") : Param(query, "day");
  if (from->empty()) *from = archive::ToLocal(now).day;
  if (to->empty()) *to = *from;
  for (const std::string* day : {from, to}) {
    if (day->size() > 10 || !archive::IsDay(*day)) {
      *error = "日期“" + CleanUtf8(day->substr(0, 64)) + "”不是 YYYY-MM-DD 形式的日期";
      return false;
    }
  }
  std::int64_t first = 0, last = 0;
  archive::ParseLocalTime(*from + " 12:00", &first);
  archive::ParseLocalTime(*to + " 12:00", &last);
  if (*to < *from || (last - first + kMsPerDay / 2) / kMsPerDay + 1 > kMaxDays) {
    *error = "日期范围从 " + *from + " 到 " + *to + " 不对：结束不能早于开始，最多 " +
             std::to_string(kMaxDays) + " 天";
    return false;
  }
  return true;
}

bool ParseCompanyCsvQuery(const Query& query, std::int64_t now, std::vector<CompanyLine>* lines,
                          CompanyQuery* out, std::string* error) {
  *out = CompanyQuery();
  if (!ParseCompanyDays(query, now, &out->filter.day, &out->lastDay, error)) return false;
  // The rest as a line's list takes it.
  Query filters;
  for (const char* name : {"group", "operator", "transfer", "verdict"})
    if (!Param(query, name).empty()) filters.emplace(name, Param(query, name));
  archive::ResultFilter f;
  if (!ParseResultsQuery(filters, now, &f, error)) return false;
  f.day = out->filter.day;
  out->filter = f;
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

CompanyCsv::CompanyCsv(CompanySource& source, std::vector<CompanyLine> lines, CompanyQuery query)
    : source_(source), lines_(std::move(lines)), query_(std::move(query)) {
  query_.filter.newestFirst = false;
  query_.filter.limit = reports::kBatch;
  query_.from = CompanyKey();
}

bool CompanyCsv::Next(std::string* chunk, bool* done, std::string* error) {
  chunk->clear();
  if (!started_) {
    started_ = true;
    *chunk = WithTail(reports::CsvHeader(), ",站点,线路");
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
      *chunk += WithTail(reports::CsvRows(r.result.row, r.result.items), tail);
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
