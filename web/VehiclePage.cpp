#include "web/VehiclePage.h"

#include <map>
#include <vector>

#include "reports/ShownValues.h"
#include "web/PageParts.h"
#include "web/WebText.h"

namespace web {

namespace {

// A value's verdict as a mark in its colour; empty for none.
std::string VerdictMark(const VerdictLook* v) {
  if (v == nullptr) return std::string();
  return "<span class=\"badge\" data-bg=\"" + CssColour(v->color) + "\">" + v->legendText +
         "</span>";
}

// A group's latest result: when, who, which, and its values as drawn.
std::string GroupSection(const archive::ResultDetail& d) {
  const archive::ResultRow& r = d.row;
  std::map<int, const archive::DisplayWrite*> drawn;
  for (const archive::DisplayWrite& w : d.writes) drawn[w.displayId] = &w;
  const reports::VerdictSummary verdicts = reports::SummarizeVerdicts(d.items);
  std::string html = "<section class=\"vgroup\"><h3>" + Html(GroupText(r.deviceGroup)) +
                     " <span class=\"verdict-of\">" + VerdictMark(verdicts.worst) +
                     "</span></h3>\n<p class=\"meta\">" +
                     Html(CleanUtf8(r.shownLocal.substr(0, 19))) + " · 工号 " +
                     Html(StationText(r.operatorText)) + " · " + Html(StationText(r.transfer)) +
                     " · <a href=\"/results/" + std::to_string(r.id) + "\">结果 " +
                     std::to_string(r.id) + "</a></p>\n<table class=\"vvalues\"><tbody>\n";
  for (const reports::ShownValue& v : reports::ShownValues(d.items)) {
    const auto w = drawn.find(v.displayId);
    const std::string text = w != drawn.end() ? ColouredText(w->second->text, w->second->textColor,
                                                             w->second->background)
                                              : Html(StationText(v.value));
    html += "<tr><th>" + Html(v.name) + "</th><td>" + text + "</td><td>" + VerdictMark(v.verdict) +
            "</td></tr>\n";
  }
  return html + "</tbody></table></section>\n";
}

std::string HistoryRow(const archive::ResultRow& r) {
  return "<tr><td><a href=\"/results/" + std::to_string(r.id) + "\">" +
         Html(CleanUtf8(r.shownLocal.substr(0, 19))) + "</a></td><td>" +
         Html(GroupText(r.deviceGroup)) + "</td><td>" + Html(StationText(r.operatorText)) +
         "</td><td>" + Html(StationText(r.transfer)) + "</td></tr>\n";
}

}  // namespace

Page VehiclePage(archive::ArchiveReader& reader, const Query& query) {
  const std::string key = Param(query, "key");
  archive::ResultFilter f;
  if (key.empty() || key.size() > kMaxField || !FormToGbk(key, &f.vehicle))
    return ProblemPage(400, "车辆有误",
                       key.empty() ? std::string("请给出车辆（key=车牌号等）")
                                   : "车辆“" + CleanUtf8(key.substr(0, kMaxField)) +
                                         "”过长或含有 GBK 无法表示的字符");
  f.newestFirst = true;
  f.limit = kVehicleResults;
  std::vector<archive::ResultRow> rows;
  std::map<std::string, std::int64_t> latest;  // group -> its newest result
  std::string error;
  const bool listed = reader.ListResults(
      f,
      [&](const archive::ResultRow& r) {
        rows.push_back(r);
        latest.emplace(r.deviceGroup, r.id);
        return true;
      },
      &error);
  if (!listed) return ProblemPage(503, "无法读取存档", error);
  const std::string title = "车辆 " + CleanUtf8(key);
  const std::string& line = PageLineName();
  std::string html =
      PageHead(title, "page vehicle") + PageBar(Html(title)) + "<main>\n" +
      "<form class=\"filters noprint\" method=\"get\" action=\"/vehicle\">\n" +
      Input("车辆", "text", "key", key) +
      "<button type=\"submit\">查看</button>\n"
      "<button type=\"button\" id=\"print\">打印</button>\n<a href=\"/results?vehicle=" +
      UrlEncode(key) + "\">这辆车的全部结果</a>\n</form>\n<h2 id=\"vehicle-title\">" +
      (line.empty() ? std::string() : "<span class=\"line\">" + Html(line) + "</span> ") +
      Html(title) + "</h2>\n";
  if (rows.empty())
    return {200,
            html + "<p class=\"problem\">存档中没有这辆车的结果。</p>\n</main>\n" + PageTail()};
  html += "<p class=\"summary\">共 " + std::to_string(rows.size()) + " 条结果，" +
          Html(CleanUtf8(rows.back().shownLocal.substr(0, 16))) + " 至 " +
          Html(CleanUtf8(rows.front().shownLocal.substr(0, 16))) +
          "；下面是每个设备组的最新结果。</p>\n<div class=\"vgroups\" id=\"latest\">\n";
  for (const std::string& group : GroupCaptions()) {
    const auto it = latest.find(group);
    if (it == latest.end()) continue;
    archive::ResultDetail d;
    if (!reader.GetResult(it->second, &d, &error) && !error.empty())
      return ProblemPage(503, "无法读取存档", error);
    html += GroupSection(d);
  }
  html +=
      "</div>\n<section class=\"noprint\"><h2>这辆车的每一条结果（从新到旧）</h2>\n"
      "<table class=\"results\" id=\"history\"><thead><tr><th>时间</th><th>设备组</th>"
      "<th>工号</th><th>传输名</th></tr></thead><tbody>\n";
  for (const archive::ResultRow& r : rows) html += HistoryRow(r);
  return {200, html + "</tbody></table></section>\n</main>\n" + PageTail()};
}

}  // namespace web
