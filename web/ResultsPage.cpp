// The list of results (/results) and its filters, for web/Pages.h.
#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "archive/ArchiveTime.h"
#include "reports/ShownValues.h"
#include "web/PageParts.h"
#include "web/Pages.h"
#include "web/WebText.h"

namespace web {

namespace {

// A day, and a range within it; or, for a vehicle, any day unless one is
// given.
bool ParseDays(const Query& query, std::int64_t nowUtcMs, archive::ResultFilter* f,
               std::string* error) {
  std::string day = Param(query, "day");
  if (day.empty() && Param(query, "vehicle").empty()) day = archive::ToLocal(nowUtcMs).day;
  if (!day.empty() && !archive::IsDay(day)) {
    *error = "日期“" + CleanUtf8(day) + "”不是 YYYY-MM-DD 形式的日期";
    return false;
  }
  f->day = day;
  for (const char* name : {"from", "to"}) {
    const std::string text = Param(query, name);
    if (text.empty()) continue;
    const std::string which = name[0] == 'f' ? "起始" : "截止";
    if (day.empty()) {
      *error = which + "时间只在给出日期时可用";
      return false;
    }
    std::string normal;
    std::int64_t unit = 0, at = 0;
    if (!ParseClock(text, &normal, &unit) || !archive::ParseLocalTime(day + " " + normal, &at)) {
      *error = which + "时间“" + CleanUtf8(text) + "”不是 hh:mm 或 hh:mm:ss 形式的时间";
      return false;
    }
    if (name[0] == 'f')
      f->fromUtcMs = at;
    else
      f->toUtcMs = at + unit;
  }
  return true;
}

// The group, the operator, part of a transfer name, a vehicle.
bool ParseTexts(const Query& query, archive::ResultFilter* f, std::string* error) {
  const std::string group = Param(query, "group");
  if (!group.empty()) {
    const std::vector<std::string> groups = GroupCaptions();
    if (std::find(groups.begin(), groups.end(), group) == groups.end()) {
      *error = "没有名为“" + CleanUtf8(group) + "”的设备组";
      return false;
    }
    f->group = group;
  }
  // Part of a name finds every name that holds it.
  const struct {
    const char* field;
    const char* word;
    std::string* gbk;
  } texts[] = {{"operator", "工号", &f->operatorText},
               {"transfer", "传输名", &f->transferPart},
               {"vehicle", "车辆", &f->vehicle}};
  for (const auto& t : texts) {
    const std::string value = Param(query, t.field);
    if (value.empty()) continue;
    if (!FormToGbk(value, t.gbk)) {
      *error = std::string(t.word) + "“" + CleanUtf8(value) + "”含有 GBK 无法表示的字符";
      return false;
    }
  }
  f->byOperator = !f->operatorText.empty();
  return true;
}

bool ParseVerdictAndIds(const Query& query, archive::ResultFilter* f, std::string* error) {
  const std::string verdict = Param(query, "verdict");
  if (!verdict.empty()) {
    Verdict v;
    if (!reports::ParseVerdictFilter(verdict, &v)) {
      *error = "判定“" + CleanUtf8(verdict) + "”不是 veto（否决项）或 advisory（建议项）";
      return false;
    }
    reports::ApplyVerdictFilter(v, f);
  }
  for (const char* name : {"after", "before"}) {
    const std::string id = Param(query, name);
    if (id.empty()) continue;
    if (id.size() > 18 || id.find_first_not_of("0123456789") != std::string::npos) {
      *error = "“" + std::string(name) + "”应为结果编号";
      return false;
    }
    if (name[0] == 'a')
      f->afterId = std::stoll(id);
    else
      f->throughId = std::stoll(id) - 1;
  }
  return true;
}

}  // namespace

bool ParseResultsQuery(const Query& query, std::int64_t nowUtcMs, archive::ResultFilter* f,
                       std::string* error) {
  *f = archive::ResultFilter();
  for (const auto& [key, value] : query) {
    if (value.size() > kMaxField) {
      *error = "“" + CleanUtf8(key) + "”太长（最多 " + std::to_string(kMaxField) + " 字节）";
      return false;
    }
  }
  return ParseDays(query, nowUtcMs, f, error) && ParseTexts(query, f, error) &&
         ParseVerdictAndIds(query, f, error);
}

std::string VerdictCell(const reports::VerdictSummary& v) {
  std::string cell;
  auto part = [&](const std::vector<reports::ShownValue>& values, Verdict verdict,
                  const char* word) {
    if (values.empty()) return;
    cell += "<span class=\"verdict\"><span class=\"badge\" data-bg=\"" +
            CssColour(LookOf(verdict).color) + "\">" + word + " " + std::to_string(values.size()) +
            "</span> " + Html(reports::ValuesText(values, StationText, "，")) + "</span>";
  };
  part(v.vetoes, Verdict::kVeto, "否决");
  part(v.advisories, Verdict::kAdvisory, "建议");
  return cell;
}

namespace {

// The total of what the filters but the verdict select (all pages: the
// day's, or a vehicle's of every day), and how many of those had a veto or
// an advisory (of a list narrowed to one verdict, only that one is told).
bool Total(archive::ArchiveReader& reader, archive::ResultFilter f, std::string* text,
           std::string* error) {
  f.afterId = 0;
  f.throughId = std::numeric_limits<std::int64_t>::max();
  f.limit = 0;
  const int narrowed = f.withJudge;
  f.withJudge = 0;
  f.withCodes.clear();
  std::int64_t all = 0;
  if (!reader.CountResults(f, &all, error)) return false;
  *text = (f.day.empty() ? "共 " : "当天共 ") + std::to_string(all) + " 条结果";
  const char* joint = "，其中 ";
  for (const auto& [verdict, word] :
       {std::pair{Verdict::kVeto, "否决项"}, std::pair{Verdict::kAdvisory, "建议项"}}) {
    archive::ResultFilter with = f;
    reports::ApplyVerdictFilter(verdict, &with);
    if (narrowed != 0 && narrowed != with.withJudge) continue;
    std::int64_t n = 0;
    if (!reader.CountResults(with, &n, error)) return false;
    *text += joint + std::to_string(n) + " 条有" + word;
    joint = "、";
  }
  return true;
}

// One page of the list, newest first, with its results' items.
struct ListPage {
  std::vector<archive::ResultRow> rows;
  std::map<std::int64_t, std::vector<archive::RecordItem>> items;
  std::int64_t first = 0, last = 0;  // the span the filters select
  std::string total;
};

// Read along the ids the filters select (found once through the day's
// index): never sorted. The page's items along the key over its ids where
// its results lie close together, else result by result (a page of a
// day's vetoes is spread over the whole day).
bool ReadPage(archive::ArchiveReader& reader, archive::ResultFilter f, ListPage* page,
              std::string* error) {
  archive::ResultFilter span = f;
  span.throughId = std::numeric_limits<std::int64_t>::max();
  if (!reader.ResultSpan(span, &page->first, &page->last, error)) return false;
  f.afterId = std::max(f.afterId, page->first - 1);
  f.throughId = std::min(f.throughId, page->last);
  f.newestFirst = true;
  f.limit = kResultsPerPage;
  auto keep = [&](const archive::ResultRow& r) {
    page->rows.push_back(r);
    return true;
  };
  if (page->last > 0 && !reader.ListResults(f, keep, error)) return false;
  auto itemsOf = [&](std::int64_t from, std::int64_t to) {
    return reader.ListItems(
        from, to,
        [&](std::int64_t id, const archive::RecordItem& i) {
          page->items[id].push_back(i);
          return true;
        },
        error);
  };
  const std::vector<archive::ResultRow>& rows = page->rows;
  bool read = true;
  if (!rows.empty() &&
      rows.front().id - rows.back().id < 4 * static_cast<std::int64_t>(rows.size()))
    read = itemsOf(rows.back().id, rows.front().id);
  else
    for (const archive::ResultRow& r : rows) read = read && itemsOf(r.id, r.id);
  return read && Total(reader, f, &page->total, error);
}

std::string RowMarkup(const archive::ResultRow& r, const std::vector<archive::RecordItem>& items,
                      const reports::VehicleRule& vehicles) {
  const std::string link = "/results/" + std::to_string(r.id);
  const std::string vehicle = vehicles.KeyOf(r.transfer);
  return "<tr data-id=\"" + std::to_string(r.id) + "\"><td><a href=\"" + link + "\">" +
         Html(ShownClock(r.shownLocal)) + "</a></td><td>" + Html(GroupText(r.deviceGroup)) +
         "</td><td>" + Html(StationText(r.operatorText)) + "</td><td>" +
         Html(CleanUtf8(r.stations)) + "</td><td class=\"name\"><a href=\"" + link + "\">" +
         Html(StationText(r.transfer)) + "</a></td><td class=\"verdicts\">" +
         VerdictCell(reports::SummarizeVerdicts(items)) +
         "</td><td><a href=\"/panel?at=" + UrlEncode(r.shownLocal) +
         "\">面板</a></td><td class=\"vehicle\"><a href=\"/vehicle?key=" +
         UrlEncode(StationText(vehicle)) + "\">" + Html(StationText(vehicle)) + "</a></td></tr>\n";
}

const std::vector<std::string>& Filters() {
  static const std::vector<std::string> filters = {"day",      "from",     "to",      "group",
                                                   "operator", "transfer", "vehicle", "verdict"};
  return filters;
}

std::string FormMarkup(const Query& query, const archive::ResultFilter& f) {
  const std::string dayExtra = f.day.empty() ? std::string() : "day=" + f.day;
  return "<form class=\"filters\" method=\"get\" action=\"/results\">\n" +
         Input("日期", "date", "day", f.day) +
         Input("从", "time", "from", Param(query, "from"), " step=\"1\"") +
         Input("到", "time", "to", Param(query, "to"), " step=\"1\"") + GroupSelect(query) +
         Input("工号", "text", "operator", Param(query, "operator")) +
         Input("传输名", "text", "transfer", Param(query, "transfer")) +
         Input("车辆", "text", "vehicle", Param(query, "vehicle")) + VerdictSelect(query) +
         "<button type=\"submit\">查询</button>\n<a class=\"csv\" href=\"/results.csv" +
         Html(QueryString(query,
                          {"from", "to", "group", "operator", "transfer", "vehicle", "verdict"},
                          dayExtra)) +
         "\">导出 CSV</a>\n<a href=\"/report" + (f.day.empty() ? std::string() : "?day=" + f.day) +
         "\">当天日报</a>\n</form>\n"
         "<form class=\"filters\" method=\"get\" action=\"/panel\">\n" +
         Input("某一时刻的面板", "datetime-local", "at", "", " step=\"1\" required") +
         "<button type=\"submit\">查看</button>\n</form>\n";
}

}  // namespace

Page ResultsPage(archive::ArchiveReader& reader, const Query& query, std::int64_t nowUtcMs,
                 const reports::VehicleRule& vehicles) {
  archive::ResultFilter f;
  std::string error;
  if (!ParseResultsQuery(query, nowUtcMs, &f, &error))
    return ProblemPage(400, "查询条件有误", error);
  ListPage page;
  if (!ReadPage(reader, f, &page, &error)) return ProblemPage(503, "无法读取存档", error);
  std::string rows;
  for (const archive::ResultRow& r : page.rows) rows += RowMarkup(r, page.items[r.id], vehicles);
  const int count = static_cast<int>(page.rows.size());
  const bool more = count == kResultsPerPage && page.rows.back().id > page.first;
  const bool paged = f.throughId < page.last || Param(query, "before") != "";
  const std::string vehicle = Param(query, "vehicle");
  const std::string title =
      vehicle.empty() ? "结果查询 " + f.day : "车辆 " + CleanUtf8(vehicle) + " 的结果";
  // Today's first page follows the line: the rows of each new result are
  // added when it comes.
  const bool follows = f.day == archive::ToLocal(nowUtcMs).day && !paged;
  std::string html = PageHead(title, follows ? "page follow" : "page") + PageBar("结果查询") +
                     "<main>\n" + FormMarkup(query, f) + "<div id=\"list\">\n";
  if (!vehicle.empty())
    html += "<p><a href=\"/vehicle?key=" + UrlEncode(vehicle) + "\">车辆 " +
            Html(CleanUtf8(vehicle)) + " 各设备组的最新结果</a></p>\n";
  const std::string counted = std::to_string(count) + " 条";
  html += "<p class=\"count\" id=\"count\">" +
          (count == 0 ? std::string("没有符合条件的结果")
                      : Html(page.total) + (paged || more ? "；本页 " + counted + "（从新到旧）"
                                                          : "（从新到旧）")) +
          "</p>\n";
  if (count > 0)
    html +=
        "<table class=\"results\"><thead><tr><th>时间</th><th>设备组</th><th>工号</th>"
        "<th>检测站</th><th>传输名</th><th>否决项与建议项</th><th></th><th>车辆</th></tr></thead>"
        "\n<tbody>\n" +
        rows + "</tbody></table>\n";
  if (more)
    html += "<p><a href=\"/results" +
            Html(QueryString(query, Filters(), "before=" + std::to_string(page.rows.back().id))) +
            "\">下一页</a></p>\n";
  return {200, html + "</div>\n</main>\n" + PageTail()};
}

}  // namespace web
