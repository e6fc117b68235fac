#include "web/CompanyPages.h"

#include <utility>

#include "archive/ArchiveTime.h"
#include "panel/Verdicts.h"
#include "web/PageParts.h"
#include "web/SitePages.h"
#include "web/WebText.h"

namespace web {

namespace {

// What a line's row says, the same in the page and in its updates.
struct Row {
  std::string rowClass, state, stateClass, detail, latest, verdict, verdictClass, today, vetoes,
      shipped;
};

// Whether the line's monitor runs, as far as the company can tell: only
// its brenna-ship tells it, so a silent brenna-ship is said first.
void StateOf(const CompanyLine& l, std::int64_t now, Row* row) {
  if (l.shipperSeenUtcMs <= 0) {
    row->stateClass = "wait";
    row->state = "尚未上传";
    row->detail = "这条线的 brenna-ship 还没有连上过公司数据库";
  } else if (!l.shipperRunning) {
    row->stateClass = "lost";
    row->state = "没有消息";
    row->detail = "brenna-ship 最后联系 " + ClockText(l.shipperSeenUtcMs, now) +
                  "：这条线的电脑、网络或 brenna-ship 停了";
  } else if (l.monitorRunning) {
    row->stateClass = "up";
    row->state = "监控程序运行中";
    row->detail = "启动于 " + ClockText(l.monitorStartedUtcMs, now);
  } else {
    row->stateClass = "down";
    row->state = "监控程序未运行";
    row->detail = !l.monitorKnown ? std::string("公司数据库中还没有这条线监控程序的运行记录")
                                  : "最后联系 " + ClockText(l.monitorHeardUtcMs, now) +
                                        (l.monitorStopped ? "（已退出）" : "，此后再无心跳");
  }
}

Row RowOf(const CompanyLine& l, bool reachable, std::int64_t now) {
  Row row;
  StateOf(l, now, &row);
  row.rowClass = "line " + row.stateClass;
  row.latest = "尚无结果";
  row.verdict = "—";
  row.verdictClass = "verdict none";
  if (l.haveLatest) {
    const archive::ResultRow& r = l.latest.result.row;
    row.latest = ClockText(r.shownUtcMs, now) + " " + GroupText(r.deviceGroup) + " 工号 " +
                 StationText(r.operatorText);
    if (const VerdictLook* look = VerdictOfJudge(l.latest.verdict)) {
      row.verdict = look->legendText;
      if (look->verdict == Verdict::kVeto && l.latest.vetoes > 1)
        row.verdict += "（" + std::to_string(l.latest.vetoes) + "）";
      row.verdictClass = "verdict v" + std::to_string(l.latest.verdict);
    }
  }
  row.today = std::to_string(l.todayResults);
  row.vetoes = std::to_string(l.todayVetoed);
  row.shipped = ClockText(l.lastShippedUtcMs, now);
  // What is shown while the database cannot be read is what it said last.
  if (!reachable) row.shipped += "（断开前）";
  return row;
}

// The database's own state: nothing while it is read, else since when it
// cannot be and why.
std::pair<std::string, std::string> DatabaseWords(const CompanyState& s, std::int64_t now) {
  if (s.reachable) return {"", ""};
  if (s.sinceUtcMs == 0) return {"正在连接公司数据库", ""};
  return {"无法读取公司数据库", "自 " + ClockText(s.sinceUtcMs, now) + " 起：" + s.why +
                                    (s.read ? "；下面是断开前的情况" : "")};
}

std::string Key(const char* name) { return std::string("\"") + name + "\":"; }

std::string Keys(const std::vector<CompanyLine>& lines) {
  std::string keys;
  for (const CompanyLine& l : lines) keys += (keys.empty() ? "" : ",") + l.Name();
  return keys;
}

std::string ResultsLink(const CompanyLine& l) { return "/results?line=" + UrlEncode(l.Name()); }

std::string RowMarkup(const CompanyLine& l, const Row& r, std::size_t index) {
  const std::string p = "L" + std::to_string(index);
  auto cell = [&](const char* id, const std::string& text, const char* cls = "") {
    return "<td" + std::string(*cls ? " class=\"" + std::string(cls) + "\"" : "") + " id=\"" + p +
           "-" + id + "\">" + Html(text) + "</td>";
  };
  return "<tr class=\"" + r.rowClass + "\" id=\"" + p + "\"><td><a href=\"" + Html(ResultsLink(l)) +
         "\">" + Html(CleanUtf8(l.line)) + "</a></td><td><b id=\"" + p + "-state\" class=\"" +
         r.stateClass + "\">" + Html(r.state) + "</b> <span id=\"" + p + "-detail\">" +
         Html(r.detail) + "</span></td><td><span id=\"" + p + "-latest\">" + Html(r.latest) +
         "</span> <span id=\"" + p + "-v\" class=\"" + r.verdictClass + "\">" + Html(r.verdict) +
         "</span></td>" + cell("today", r.today, "n") + cell("vetoes", r.vetoes, "n") +
         cell("shipped", r.shipped) + "</tr>\n";
}

}  // namespace

std::string CompanyOverviewJson(const CompanyState& s, std::int64_t now) {
  const std::vector<CompanyLine> none;
  const std::vector<CompanyLine>& lines = s.lines ? *s.lines : none;
  const auto [head, detail] = DatabaseWords(s, now);
  std::string json = "{" + Key("db") + "{" + Key("ok") + (s.reachable ? "true" : "false") + "," +
                     Key("head") + Json(head) + "," + Key("detail") + Json(detail) + "}," +
                     Key("keys") + Json(Keys(lines)) + "," + Key("lines") + "[";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Row r = RowOf(lines[i], s.reachable, now);
    json += std::string(i ? "," : "") + "{" + Key("row") + Json(r.rowClass) + "," + Key("state") +
            Json(r.state) + "," + Key("sc") + Json(r.stateClass) + "," + Key("detail") +
            Json(r.detail) + "," + Key("latest") + Json(r.latest) + "," + Key("v") +
            Json(r.verdict) + "," + Key("vc") + Json(r.verdictClass) + "," + Key("today") +
            Json(r.today) + "," + Key("vetoes") + Json(r.vetoes) + "," + Key("shipped") +
            Json(r.shipped) + "}";
  }
  return json + "]}";
}

Page CompanyOverviewPage(const CompanyState& s, std::int64_t now) {
  const std::vector<CompanyLine> none;
  const std::vector<CompanyLine>& lines = s.lines ? *s.lines : none;
  const auto [head, detail] = DatabaseWords(s, now);
  std::string html =
      PageHead("公司总览", std::string("company") + (s.reachable ? "" : " lost")) +
      "<header class=\"bar\"><h1 id=\"title\">公司总览</h1><span id=\"link\"></span><nav>"
      "<a href=\"/results\">结果查询</a><a href=\"/report\">报表</a></nav></header>\n<main>\n"
      "<p class=\"dbstate\" id=\"db\"><b id=\"db-head\">" +
      Html(head) + "</b> <span id=\"db-detail\">" + Html(detail) +
      "</span></p>\n<table class=\"company\" id=\"lines\" data-keys=\"" + Html(Keys(lines)) +
      "\"><thead><tr><th>线路</th><th>监控程序</th><th>最新结果</th><th>今日结果</th>"
      "<th>今日否决</th><th>最后上传</th></tr></thead>\n<tbody>\n";
  std::string site;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 0 || lines[i].site != site) {
      site = lines[i].site;
      html += "<tr class=\"site\"><th colspan=\"6\">" + Html(CleanUtf8(site)) + "</th></tr>\n";
    }
    html += RowMarkup(lines[i], RowOf(lines[i], s.reachable, now), i);
  }
  html += "</tbody></table>\n";
  if (s.read && lines.empty())
    html +=
        "<p class=\"problem\">公司数据库中还没有线路：管理员用 brenna-ship --enrol SITE/LINE "
        "登记每条线（docs/company.md）</p>\n";
  html +=
      "<p class=\"note\">每条线的状态来自它的 brenna-ship：监控程序的心跳每 30 "
      "秒随它传到公司数据库。"
      "今日：那条线当地的日期。点击线路名称查看它的结果。</p>\n</main>\n";
  return {200, html + PageTail()};
}

const CompanyLine* QueryLine(const std::vector<CompanyLine>& lines, const Query& query) {
  const std::string name = Param(query, "line");
  for (const CompanyLine& l : lines)
    if (l.Name() == name) return &l;
  return nullptr;
}

bool NoVehicle(const Query& query, std::string* error) {
  if (Param(query, "vehicle").empty()) return true;
  *error = "公司视图不按车辆查询：请用传输名（名称的一部分即可）查找一辆车的结果";
  return false;
}

namespace {

const std::vector<std::string>& Filters() {
  static const std::vector<std::string> filters = {"line",  "day",      "from",     "to",
                                                   "group", "operator", "transfer", "verdict"};
  return filters;
}

std::string FormMarkup(const std::vector<CompanyLine>& lines, const Query& query,
                       const std::string& day) {
  const std::string chosenLine = Param(query, "line");
  std::string lineOptions = "<option value=\"\">（请选择）</option>";
  for (const CompanyLine& l : lines)
    lineOptions += "<option" + std::string(l.Name() == chosenLine ? " selected" : "") + ">" +
                   Html(CleanUtf8(l.Name())) + "</option>";
  return "<form class=\"filters\" method=\"get\" action=\"/results\">\n"
         "<label>线路 <select name=\"line\">" +
         lineOptions + "</select></label>\n" + Input("日期", "date", "day", day) +
         Input("从", "time", "from", Param(query, "from"), " step=\"1\"") +
         Input("到", "time", "to", Param(query, "to"), " step=\"1\"") + GroupSelect(query) +
         Input("工号", "text", "operator", Param(query, "operator")) +
         Input("传输名", "text", "transfer", Param(query, "transfer")) + VerdictSelect(query) +
         "<button type=\"submit\">查询</button>\n<a class=\"csv\" href=\"/results.csv" +
         Html(QueryString(query, {"line", "group", "operator", "transfer", "verdict"},
                          "from=" + day + "&to=" + day)) +
         "\">导出 CSV</a>\n<a href=\"/report?from=" + day + "&amp;to=" + day +
         "\">当天报表</a>\n</form>\n";
}

// "当天共 1236 条结果，其中 87 条有否决项、45 条有建议项" (of a list narrowed to
// one verdict, only that one is told).
std::string TotalText(const CompanyCounts& c, int narrowed) {
  std::string text = "当天共 " + std::to_string(c.results) + " 条结果";
  const char* joint = "，其中 ";
  if (narrowed != LookOf(Verdict::kAdvisory).judgeCode) {
    text += joint + std::to_string(c.vetoed) + " 条有否决项";
    joint = "、";
  }
  if (narrowed != LookOf(Verdict::kVeto).judgeCode)
    text += joint + std::to_string(c.advisory) + " 条有建议项";
  return text;
}

std::string ResultRowMarkup(const CompanyResult& c) {
  const archive::ResultRow& r = c.result.row;
  // Its place in the company, as a line's list gives its id.
  return "<tr data-key=\"" + c.key.Text() + "\"><td>" + Html(ShownClock(r.shownLocal)) +
         "</td><td>" + Html(GroupText(r.deviceGroup)) + "</td><td>" +
         Html(StationText(r.operatorText)) + "</td><td>" + Html(CleanUtf8(r.stations)) +
         "</td><td class=\"name\">" + Html(StationText(r.transfer)) +
         "</td><td class=\"verdicts\">" + VerdictCell(reports::SummarizeVerdicts(c.result.items)) +
         "</td></tr>\n";
}

}  // namespace

Page CompanyResultsPage(CompanySource& source, const std::vector<CompanyLine>& lines,
                        const Query& query, std::int64_t now) {
  // A line's own filters; the line and the place in the list are the
  // company's (a result is known by its archive and id there).
  Query filters = query;
  filters.erase("before");
  CompanyQuery q;
  std::string error;
  if (!NoVehicle(query, &error) || !ParseResultsQuery(filters, now, &q.filter, &error))
    return ProblemPage(400, "查询条件有误", error);
  const std::string before = Param(query, "before");
  if (!before.empty() && !CompanyKey::Parse(before, &q.from))
    return ProblemPage(400, "查询条件有误", "“before”应为结果在公司数据库中的位置（如 3-1234）");
  const CompanyLine* line = QueryLine(lines, query);
  if (!Param(query, "line").empty() && line == nullptr)
    return ProblemPage(404, "没有这条线路",
                       "公司数据库中没有线路“" + CleanUtf8(Param(query, "line")) + "”");
  const std::string& day = q.filter.day;
  std::string html = PageHead("结果查询 " + day, "page") + PageBar("结果查询") + "<main>\n" +
                     FormMarkup(lines, query, day) + "<div id=\"list\">\n";
  if (line == nullptr)
    return {200, html + "<p class=\"count\">请先选择线路</p>\n</div>\n</main>\n" + PageTail()};

  q.lineId = line->lineId;
  q.filter.newestFirst = true;
  q.filter.limit = kResultsPerPage;
  std::vector<CompanyResult> page;
  CompanyQuery all = q;
  all.filter.withJudge = 0;
  CompanyCounts counts;
  if (!source.Results(q, &page, &error) || !source.Count(all, &counts, &error))
    return ProblemPage(503, "无法读取公司数据库", error);
  std::string rows;
  for (const CompanyResult& c : page) rows += ResultRowMarkup(c);
  const int count = static_cast<int>(page.size());
  const bool more = count == kResultsPerPage;
  html += "<h2>" + Html(CleanUtf8(line->Name())) + "</h2>\n<p class=\"count\" id=\"count\">" +
          (count == 0 ? std::string("没有符合条件的结果")
                      : Html(TotalText(counts, q.filter.withJudge)) +
                            (more || !q.from.Empty()
                                 ? "；本页 " + std::to_string(count) + " 条（从新到旧）"
                                 : "（从新到旧）")) +
          "</p>\n";
  if (count > 0)
    html +=
        "<table class=\"results\"><thead><tr><th>时间</th><th>设备组</th><th>工号</th>"
        "<th>检测站</th><th>传输名</th><th>否决项与建议项</th></tr></thead>\n<tbody>\n" +
        rows + "</tbody></table>\n";
  if (more)
    html += "<p><a href=\"/results" +
            Html(QueryString(query, Filters(), "before=" + page.back().key.Text())) +
            "\">下一页</a></p>\n";
  return {200, html + "</div>\n</main>\n" + PageTail()};
}

}  // namespace web
