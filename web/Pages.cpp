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
#include "web/TvLayout.h"
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

}  // namespace

std::string ColouredText(const std::string& gbk, std::uint32_t fg, std::uint32_t bg) {
  return "<span class=\"val\" data-fg=\"" + CssColour(fg) + "\" data-bg=\"" + CssColour(bg) +
         "\">" + Html(StationText(gbk)) + "</span>";
}

std::string Param(const Query& q, const char* name) {
  const auto it = q.find(name);
  return it == q.end() ? std::string() : it->second;
}

const std::string& PageLineName() { return LineNameStore(); }

std::string ShownClock(const std::string& shownLocal) {
  // "YYYY-MM-DD hh:mm:ss.mmm" -> "hh:mm:ss"
  return shownLocal.size() >= 19 ? CleanUtf8(shownLocal.substr(11, 8)) : CleanUtf8(shownLocal);
}

std::string SecondsText(std::int64_t utcMs) { return archive::ToLocal(utcMs).text.substr(0, 19); }

std::string GroupText(const std::string& caption) {
  return caption.empty() ? std::string("（无设备组）") : CleanUtf8(caption);
}

std::vector<std::string> GroupCaptions() {
  std::vector<std::string> groups;
  for (const DlgControl& c : MainDialogTemplate())
    if (c.kind == ControlKind::GroupBox) groups.emplace_back(c.text);
  return groups;
}

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
  if (tv) {
    std::vector<std::string> vehicles;
    for (const GroupSummary& g : line.groups) vehicles.push_back(StationText(g.vehicle));
    html += TvGroupMarkup(vehicles);
  }
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

std::string PageHead(const std::string& title, const std::string& bodyClass) {
  return Head(title, bodyClass);
}

std::string PageBar(const std::string& titleHtml) { return Bar(titleHtml, false); }

std::string PageTail() { return kTail; }

}  // namespace web
