#include "web/Pages.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "archive/ArchiveTime.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "reports/ShownValues.h"
#include "web/DisputeView.h"
#include "web/LineSummary.h"
#include "web/PageParts.h"
#include "web/PanelView.h"
#include "web/WebText.h"

namespace web {

namespace {

std::string& LineNameStore() {
  static std::string name;
  return name;
}

PageLinks& LinksStore() {
  static PageLinks links;
  return links;
}

// "一号线 · 结果查询"
std::string Titled(const std::string& title) {
  return LineNameStore().empty() ? title : LineNameStore() + " · " + title;
}

// Never translated: a browser's translation would change the values and
// the system's own words.
std::string Head(const std::string& title, const std::string& bodyClass) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\" translate=\"no\">\n<head>\n"
         "<meta charset=\"utf-8\">\n<meta name=\"google\" content=\"notranslate\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>" +
         Html(Titled(title)) +
         "</title>\n<link rel=\"icon\" href=\"/favicon.png\">\n"
         "<link rel=\"stylesheet\" href=\"/app.css\">\n"
         "<link rel=\"stylesheet\" href=\"/panel.css\">\n"
         "<script src=\"/app.js\" defer></script>\n</head>\n<body class=\"" +
         bodyClass + "\">\n";
}

// The bar at the top: the page's title and the way to the others.
std::string Bar(const std::string& titleHtml, bool live) {
  const std::string& line = LineNameStore();
  return "<header class=\"bar\">" +
         (line.empty() ? std::string()
                       : "<span class=\"line\" id=\"line-name\">" + Html(line) + "</span>") +
         "<h1 id=\"title\">" + titleHtml + "</h1>" +
         std::string(live ? "<span id=\"link\"></span>" : "") + "<nav>" +
         (live ? "" : "<a href=\"/\">" + std::string(LinksStore().home) + "</a>") +
         "<a href=\"/results\">" + LinksStore().results + "</a><a href=\"/report\">" +
         LinksStore().report + "</a></nav></header>\n";
}

const char kTail[] = "</body>\n</html>\n";

std::string Seconds(std::int64_t utcMs) { return archive::ToLocal(utcMs).text.substr(0, 19); }

// hh:mm or hh:mm:ss; *unitMs the span the text names (a minute, a second).
bool ParseClock(const std::string& t, std::string* normal, std::int64_t* unitMs) {
  auto two = [&](std::size_t at, int max) {
    return at + 2 <= t.size() && t[at] >= '0' && t[at] <= '9' && t[at + 1] >= '0' &&
           t[at + 1] <= '9' && (t[at] - '0') * 10 + (t[at + 1] - '0') <= max;
  };
  if (t.size() == 5 && two(0, 23) && t[2] == ':' && two(3, 59)) {
    *normal = t + ":00";
    *unitMs = 60000;
    return true;
  }
  if (t.size() == 8 && two(0, 23) && t[2] == ':' && two(3, 59) && t[5] == ':' && two(6, 59)) {
    *normal = t;
    *unitMs = 1000;
    return true;
  }
  return false;
}

std::string ColouredText(const std::string& gbk, std::uint32_t fg, std::uint32_t bg) {
  return "<span class=\"val\" data-fg=\"" + CssColour(fg) + "\" data-bg=\"" + CssColour(bg) +
         "\">" + Html(StationText(gbk)) + "</span>";
}

}  // namespace

std::string Param(const Query& q, const char* name) {
  const auto it = q.find(name);
  return it == q.end() ? std::string() : it->second;
}

std::string ShownClock(const std::string& shownLocal) {
  return shownLocal.size() >= 19 ? CleanUtf8(shownLocal.substr(11, 8)) : CleanUtf8(shownLocal);
}

std::string GroupText(const std::string& caption) {
  return caption.empty() ? std::string("（无设备组）") : CleanUtf8(caption);
}

std::vector<std::string> GroupCaptions() {
  std::vector<std::string> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.emplace_back(c.text);
  return groups;
}

std::string QueryString(const Query& q, const std::vector<std::string>& keep,
                        const std::string& extra) {
  std::string s;
  for (const std::string& k : keep) {
    const std::string v = Param(q, k.c_str());
    if (!v.empty()) s += (s.empty() ? "" : "&") + k + "=" + UrlEncode(v);
  }
  if (!extra.empty()) s += (s.empty() ? "" : "&") + extra;
  return s.empty() ? s : "?" + s;
}

std::string Input(const char* label, const char* type, const char* name, const std::string& value,
                  const char* extra) {
  return "<label>" + std::string(label) + " <input type=\"" + type + "\" name=\"" + name +
         "\" value=\"" + Html(value) + "\"" + extra + "></label>\n";
}

std::string GroupSelect(const Query& query) {
  std::string options = "<option value=\"\">全部</option>";
  const std::string chosen = Param(query, "group");
  for (const std::string& g : GroupCaptions())
    options +=
        "<option" + std::string(g == chosen ? " selected" : "") + ">" + Html(g) + "</option>";
  return "<label>设备组 <select name=\"group\">" + options + "</select></label>\n";
}

std::string VerdictSelect(const Query& query) {
  const std::string verdict = Param(query, "verdict");
  std::string options;
  for (const auto& [value, text] :
       {std::pair{"", "全部"}, {"veto", "有否决项"}, {"advisory", "有建议项"}})
    options += "<option value=\"" + std::string(value) + "\"" +
               (verdict == value ? " selected" : "") + ">" + text + "</option>";
  return "<label>判定 <select name=\"verdict\">" + options + "</select></label>\n";
}

Page ProblemPage(int status, const std::string& headline, const std::string& detail) {
  return {status, Head(headline, "page") + Bar(Html(headline), false) +
                      "<main><p class=\"problem\">" + Html(detail) + "</p></main>\n" + kTail};
}

void SetPageLineName(const std::string& name) { LineNameStore() = name; }

void SetPageLinks(const PageLinks& links) { LinksStore() = links; }

Page LivePage(const FeedState& state, bool tv) {
  const std::map<int, DisplayValue> none;
  const std::map<int, DisplayValue>& values = state.values ? *state.values : none;
  // An idle panel is dimmed, but for the idle look, which stays as the
  // window shows it.
  std::map<int, CellMark> keep;
  for (const auto& [id, v] : values)
    if (ShowsIdleLook(v)) keep[id].cls = "keep";
  const LineSummary& line = state.line;
  std::string html = Head(state.title, tv ? "live tv" : "live");
  if (!tv) html += Bar(Html(state.title), true);
  html += "<div class=\"panel fill" + std::string(state.monitor.Running() ? "" : " down") +
          std::string(line.idle ? " idle" : "") + "\" id=\"panel\">\n" +
          PanelMarkup(values, BoxOf(state.monitor), keep);
  if (tv)
    html += "<div id=\"linebox\"><b id=\"line-name\">" + Html(line.name) +
            "</b><span id=\"title\">" + Html(state.title) + "</span></div>\n";
  return {200, html + "<div id=\"banner\"><b id=\"banner-head\">" +
                   Html(StateHeadline(state.monitor)) + "</b><span id=\"banner-detail\">" +
                   Html(StateDetail(state.monitor)) +
                   "</span></div>\n<div id=\"idle\"><b id=\"idle-head\">" + Html(line.idleHead) +
                   "</b><span id=\"idle-detail\">" + Html(line.idleDetail) +
                   "</span></div>\n</div>\n" + kTail};
}

bool ParseResultsQuery(const Query& query, std::int64_t nowUtcMs, archive::ResultFilter* f,
                       std::string* error) {
  *f = archive::ResultFilter();
  for (const auto& [key, value] : query) {
    if (value.size() > kMaxField) {
      *error = "“" + CleanUtf8(key) + "”太长（最多 " + std::to_string(kMaxField) + " 字节）";
      return false;
    }
  }
  std::string day = Param(query, "day");
  if (day.empty()) day = archive::ToLocal(nowUtcMs).day;
  if (!archive::IsDay(day)) {
    *error = "日期“" + CleanUtf8(day) + "”不是 YYYY-MM-DD 形式的日期";
    return false;
  }
  f->day = day;
  for (const char* name : {"from", "to"}) {
    const std::string text = Param(query, name);
    if (text.empty()) continue;
    std::string normal;
    std::int64_t unit = 0, at = 0;
    if (!ParseClock(text, &normal, &unit) || !archive::ParseLocalTime(day + " " + normal, &at)) {
      *error = std::string(name[0] == 'f' ? "起始" : "截止") + "时间“" + CleanUtf8(text) +
               "”不是 hh:mm 或 hh:mm:ss 形式的时间";
      return false;
    }
    if (name[0] == 'f')
      f->fromUtcMs = at;
    else
      f->toUtcMs = at + unit;
  }
  const std::string group = Param(query, "group");
  if (!group.empty()) {
    bool known = false;
    for (const std::string& g : GroupCaptions()) known |= g == group;
    if (!known) {
      *error = "没有名为“" + CleanUtf8(group) + "”的设备组";
      return false;
    }
    f->group = group;
  }
  const std::string op = Param(query, "operator"), transfer = Param(query, "transfer");
  if (!op.empty()) {
    f->byOperator = true;
    if (!FormToGbk(op, &f->operatorText)) {
      *error = "工号“" + CleanUtf8(op) + "”含有 GBK 无法表示的字符";
      return false;
    }
  }
  if (!transfer.empty()) {
    f->byTransfer = true;
    if (!FormToGbk(transfer, &f->transfer)) {
      *error = "传输名“" + CleanUtf8(transfer) + "”含有 GBK 无法表示的字符";
      return false;
    }
  }
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

namespace {

// The day's total of what the filters select (all pages), and how many of
// those had a veto or an advisory (of a list narrowed to one verdict, only
// that one is told).
bool DayTotal(archive::ArchiveReader& reader, archive::ResultFilter f, std::string* text,
              std::string* error) {
  f.afterId = 0;
  f.throughId = std::numeric_limits<std::int64_t>::max();
  f.limit = 0;
  std::int64_t all = 0;
  if (!reader.CountResults(f, &all, error)) return false;
  *text = "当天共 " + std::to_string(all) + " 条结果";
  const char* joint = "，其中 ";
  for (const auto& [verdict, word] :
       {std::pair{Verdict::kVeto, "否决项"}, std::pair{Verdict::kAdvisory, "建议项"}}) {
    archive::ResultFilter with = f;
    reports::ApplyVerdictFilter(verdict, &with);
    if (f.withJudge != 0 && f.withJudge != with.withJudge) continue;
    std::int64_t n = 0;
    if (!reader.CountResults(with, &n, error)) return false;
    *text += joint + std::to_string(n) + " 条有" + word;
    joint = "、";
  }
  return true;
}

}  // namespace

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

Page ResultsPage(archive::ArchiveReader& reader, const Query& query, std::int64_t nowUtcMs) {
  archive::ResultFilter f;
  std::string error;
  if (!ParseResultsQuery(query, nowUtcMs, &f, &error))
    return ProblemPage(400, "查询条件有误", error);
  // Newest first, a page at a time, read along the ids the day's filters
  // select (found once through the day's index): never sorted.
  archive::ResultFilter span = f;
  span.throughId = std::numeric_limits<std::int64_t>::max();
  std::int64_t first = 0, last = 0;
  if (!reader.ResultSpan(span, &first, &last, &error))
    return ProblemPage(503, "无法读取存档", error);
  f.afterId = std::max(f.afterId, first - 1);
  f.throughId = std::min(f.throughId, last);
  f.newestFirst = true;
  f.limit = kResultsPerPage;
  std::vector<archive::ResultRow> page;
  if (last > 0 && !reader.ListResults(
                      f,
                      [&](const archive::ResultRow& r) {
                        page.push_back(r);
                        return true;
                      },
                      &error))
    return ProblemPage(503, "无法读取存档", error);
  // The page's items: along the key over the page's ids where its results
  // lie close together, else result by result (a page of a day's vetoes is
  // spread over the whole day).
  std::map<std::int64_t, std::vector<archive::RecordItem>> items;
  auto itemsOf = [&](std::int64_t from, std::int64_t to) {
    return reader.ListItems(
        from, to,
        [&](std::int64_t id, const archive::RecordItem& i) {
          items[id].push_back(i);
          return true;
        },
        &error);
  };
  bool read = true;
  if (!page.empty() &&
      page.front().id - page.back().id < 4 * static_cast<std::int64_t>(page.size()))
    read = itemsOf(page.back().id, page.front().id);
  else
    for (const archive::ResultRow& r : page) read = read && itemsOf(r.id, r.id);
  if (!read) return ProblemPage(503, "无法读取存档", error);
  std::string total;
  if (!DayTotal(reader, f, &total, &error)) return ProblemPage(503, "无法读取存档", error);

  std::string rows;
  for (const archive::ResultRow& r : page) {
    const std::string link = "/results/" + std::to_string(r.id);
    rows += "<tr data-id=\"" + std::to_string(r.id) + "\"><td><a href=\"" + link + "\">" +
            Html(ShownClock(r.shownLocal)) + "</a></td><td>" + Html(GroupText(r.deviceGroup)) +
            "</td><td>" + Html(StationText(r.operatorText)) + "</td><td>" +
            Html(CleanUtf8(r.stations)) + "</td><td class=\"name\"><a href=\"" + link + "\">" +
            Html(StationText(r.transfer)) + "</a></td><td class=\"verdicts\">" +
            VerdictCell(reports::SummarizeVerdicts(items[r.id])) +
            "</td><td><a href=\"/panel?at=" + UrlEncode(r.shownLocal) + "\">面板</a></td></tr>\n";
  }
  const int count = static_cast<int>(page.size());
  const bool more = count == kResultsPerPage && page.back().id > first;
  const bool paged = f.throughId < last || Param(query, "before") != "";

  const std::string title = "结果查询 " + f.day;
  const std::vector<std::string> filters = {"day",      "from",     "to",     "group",
                                            "operator", "transfer", "verdict"};
  // Today's first page follows the line: it is made anew when a result comes.
  const bool follows = f.day == archive::ToLocal(nowUtcMs).day && !paged;
  std::string html =
      Head(title, follows ? "page follow" : "page") + Bar("结果查询", false) + "<main>\n" +
      "<form class=\"filters\" method=\"get\" action=\"/results\">\n" +
      Input("日期", "date", "day", f.day) +
      Input("从", "time", "from", Param(query, "from"), " step=\"1\"") +
      Input("到", "time", "to", Param(query, "to"), " step=\"1\"") + GroupSelect(query) +
      Input("工号", "text", "operator", Param(query, "operator")) +
      Input("传输名", "text", "transfer", Param(query, "transfer")) + VerdictSelect(query) +
      "<button type=\"submit\">查询</button>\n<a class=\"csv\" href=\"/results.csv" +
      Html(QueryString(query, filters, "day=" + f.day)) +
      "\">导出 CSV</a>\n<a href=\"/report?day=" + f.day +
      "\">当天日报</a>\n</form>\n"
      "<form class=\"filters\" method=\"get\" action=\"/panel\">\n" +
      Input("某一时刻的面板", "datetime-local", "at", "", " step=\"1\" required") +
      "<button type=\"submit\">查看</button>\n</form>\n<div id=\"list\">\n";
  const std::string counted = std::to_string(count) + " 条";
  html += "<p class=\"count\" id=\"count\">" +
          (count == 0 ? std::string("没有符合条件的结果")
                      : Html(total) + (paged || more ? "；本页 " + counted + "（从新到旧）"
                                                     : "（从新到旧）")) +
          "</p>\n";
  if (count > 0)
    html +=
        "<table class=\"results\"><thead><tr><th>时间</th><th>设备组</th><th>工号</th>"
        "<th>检测站</th><th>传输名</th><th>否决项与建议项</th><th></th></tr></thead>\n<tbody>\n" +
        rows + "</tbody></table>\n";
  if (more)
    html += "<p><a href=\"/results" +
            Html(QueryString(query, filters, "before=" + std::to_string(page.back().id))) +
            "\">下一页</a></p>\n";
  return {200, html + "</div>\n</main>\n" + kTail};
}

Page ResultPage(archive::ArchiveReader& reader, std::int64_t id) {
  archive::ResultDetail d;
  std::string error;
  if (!reader.GetResult(id, &d, &error)) {
    if (error.empty())
      return ProblemPage(404, "没有这条结果", "存档中没有编号为 " + std::to_string(id) + " 的结果");
    return ProblemPage(503, "无法读取存档", error);
  }
  const archive::ResultRow& r = d.row;
  const std::string title = "结果 " + std::to_string(r.id);
  archive::ResultRow before, after;
  const bool hasBefore = reader.ResultBefore(r.id, &before, &error);
  const bool hasAfter = error.empty() && reader.ResultAfter(r.id, &after, &error);
  if (!error.empty()) return ProblemPage(503, "无法读取存档", error);
  std::string html = Head(title, "page") + Bar(Html(title), false) + "<main>\n" +
                     StepLinks(hasBefore ? &before : nullptr, hasAfter ? &after : nullptr, false);
  auto row = [](const char* name, const std::string& valueHtml) {
    return "<tr><th>" + std::string(name) + "</th><td>" + valueHtml + "</td></tr>\n";
  };
  html +=
      "<table class=\"meta\">\n" + row("显示时间", Html(CleanUtf8(r.shownLocal))) +
      row("设备组",
          Html(GroupText(r.deviceGroup)) + "（设备代码 " + std::to_string(r.deviceCode) + "）") +
      row("工号", Html(StationText(r.operatorText))) +
      row("检测站", Html(r.stations.empty() ? std::string("不详") : CleanUtf8(r.stations))) +
      row("传输名", "<span id=\"transfer\">" + Html(StationText(r.transfer)) + "</span>") +
      row("标题", Html(r.titleCount < 0 ? std::string("（未计数）") : WindowTitle(r.titleCount))) +
      row("项目数", std::to_string(r.itemCount)) + "</table>\n";
  html += "<p><a href=\"/panel?at=" + UrlEncode(r.shownLocal) + "\">当时的整个面板</a></p>\n";
  // Its groups as the screen showed them right after it: its own values,
  // and what earlier vehicles had left standing there, marked.
  std::set<std::string> groups;
  for (const archive::DisplayWrite& w : d.writes)
    if (!GroupCaptionOf(w.displayId).empty()) groups.emplace(GroupCaptionOf(w.displayId));
  const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  archive::Panel then;
  if (!reader.PanelAt(r.shownUtcMs, ids, &then, &error))
    return ProblemPage(503, "无法读取存档", error);
  const std::vector<CellSource> sources =
      groups.empty() ? std::vector<CellSource>() : SourcesOf(then, groups);
  std::map<int, DisplayValue> shown;
  const std::map<int, DisplayValue> all = ValuesOf(then);
  for (const CellSource& c : sources)
    if (all.count(c.displayId)) shown[c.displayId] = all.at(c.displayId);
  std::string table;
  if (!SourceTable(reader, sources, shown, &table, &error))
    return ProblemPage(503, "无法读取存档", error);
  html +=
      "<h2>这条结果显示时它的设备组</h2>\n" + EarlierNote() +
      "<div class=\"panel fixed\" id=\"panel\">\n" +
      PanelMarkup(shown, {title, "这条结果写入的数值，虚线框为前车遗留", true}, MarksOf(sources)) +
      "</div>\n<h2>每个显示框的来源</h2>\n" + table;
  html +=
      "<h2>显示框写入（按顺序）</h2>\n<table class=\"writes\"><thead><tr><th>显示框</th>"
      "<th>位置</th><th>显示的文字</th></tr></thead><tbody>\n";
  for (const archive::DisplayWrite& w : d.writes)
    html += "<tr><td>" + std::to_string(w.displayId) + "</td><td>" +
            Html(DisplayCaption(w.displayId)) + "</td><td>" +
            ColouredText(w.text, w.textColor, w.background) + "</td></tr>\n";
  html +=
      "</tbody></table>\n<h2>记录中的项目（按站点发送的原样）</h2>\n<table class=\"items\">"
      "<thead><tr><th>序号</th><th>项目代码</th><th>判定</th><th>数值</th></tr></thead><tbody>\n";
  for (const archive::RecordItem& i : d.items)
    html += "<tr><td>" + std::to_string(i.position + 1) + "</td><td>" + std::to_string(i.code) +
            "</td><td>" + std::to_string(i.judge) + "</td><td>" + Html(StationText(i.value)) +
            "</td></tr>\n";
  return {200, html + "</tbody></table>\n</main>\n" + kTail};
}

Page PanelAtPage(archive::ArchiveReader& reader, const Query& query) {
  const std::string at = Param(query, "at");
  std::int64_t utcMs = 0;
  if (at.size() > kMaxField || !archive::ParseLocalTime(at, &utcMs))
    return ProblemPage(
        400, "时刻有误",
        "“" + CleanUtf8(at.substr(0, kMaxField)) + "”不是 YYYY-MM-DD hh:mm[:ss] 形式的时刻");
  const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  archive::Panel panel;
  std::string error;
  if (!reader.PanelAt(utcMs, ids, &panel, &error)) return ProblemPage(503, "无法读取存档", error);
  const std::string when = Seconds(utcMs);
  if (!panel.haveRun)
    return ProblemPage(404, when + " 时的面板", "存档中没有 " + when + " 及以前的记录");
  archive::ResultRow last;
  int count = -1;
  if (reader.LastResultOfRun(panel.run.id, utcMs, &last, &error))
    count = last.titleCount;
  else if (!error.empty())
    return ProblemPage(503, "无法读取存档", error);
  const std::string heard = Seconds(panel.run.heartbeatUtcMs);
  const StateBox box =
      panel.running
          ? StateBox{"监控程序当时运行中", "启动于 " + Seconds(panel.run.startedUtcMs), true}
          : StateBox{"监控程序当时未运行",
                     "此前最后联系 " + heard + (panel.run.stopped ? "（已退出）" : ""), false};
  const std::string title = when + " 时的面板";
  // Stepping: to the panel as each result before and after this moment
  // left it.
  archive::ResultRow shownBy, before, after;
  const bool hasShown = reader.ResultShownBy(utcMs, &shownBy, &error);
  const bool hasBefore = hasShown && reader.ResultBefore(shownBy.id, &before, &error);
  const bool hasAfter = error.empty() && reader.ResultShownAfter(utcMs, &after, &error);
  const std::vector<CellSource> sources = SourcesOf(panel);
  const std::map<int, DisplayValue> values = ValuesOf(panel);
  std::string table;
  if (!error.empty() || !SourceTable(reader, sources, values, &table, &error))
    return ProblemPage(503, "无法读取存档", error);
  return {200, Head(title, "page") + Bar(Html(title), false) + "<main>\n" +
                   StepLinks(hasBefore ? &before : nullptr, hasAfter ? &after : nullptr, true) +
                   "<p class=\"moment\">" + Html(WindowTitle(count)) + "</p>\n" + EarlierNote() +
                   "<div class=\"panel fixed" + std::string(panel.running ? "" : " down") +
                   "\" id=\"panel\">\n" + PanelMarkup(values, box, MarksOf(sources)) +
                   "</div>\n<h2>每个显示框的来源</h2>\n" + table + "</main>\n" + kTail};
}

std::string PageHead(const std::string& title, const std::string& bodyClass) {
  return Head(title, bodyClass);
}

std::string PageBar(const std::string& titleHtml) { return Bar(titleHtml, false); }

std::string PageTail() { return kTail; }

}  // namespace web
