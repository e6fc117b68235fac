#include "web/ReportPage.h"

#include "archive/ArchiveTime.h"
#include "reports/DayReport.h"
#include "web/WebText.h"

namespace web {

namespace {

std::string Clock(const std::string& shownLocal) {
  return shownLocal.size() >= 19 ? Html(CleanUtf8(shownLocal.substr(11, 8))) : std::string("-");
}

std::string GroupName(const std::string& caption) {
  return caption.empty() ? std::string("（无设备组）") : Html(CleanUtf8(caption));
}

// The day and the time of day, for a report of several days.
std::string DayAndClock(const std::string& shownLocal) {
  return shownLocal.size() >= 19 ? Html(CleanUtf8(shownLocal.substr(5, 14))) : std::string("-");
}

std::string Cells(const reports::ReportCounts& c) { return ReportCountCells(c, false); }

std::string CodeTable(const std::vector<reports::CodeLine>& codes, std::size_t from,
                      std::size_t to) {
  std::string html =
      "<table class=\"report codes\"><thead><tr><th>代码</th><th>设备组</th><th>项目</th>"
      "<th>次数</th><th>否决</th><th>否决率</th></tr></thead><tbody>\n";
  for (std::size_t i = from; i < to && i < codes.size(); ++i) {
    const reports::CodeLine& c = codes[i];
    html += "<tr><td>" + std::to_string(c.code) + "</td><td>" + GroupName(c.group) + "</td><td>" +
            Html(c.name) + "</td><td class=\"n\">" + std::to_string(c.values) +
            "</td><td class=\"n\">" + std::to_string(c.vetoes) + "</td><td class=\"n\">" +
            Html(reports::Percent(c.vetoes, c.values)) + "</td></tr>\n";
  }
  return html + "</tbody></table>\n";
}

}  // namespace

std::string ReportCountHeads() {
  return "<th>结果</th><th>否决</th><th>否决率</th><th>建议</th><th>复检</th><th>首条</th>"
         "<th>末条</th>";
}

std::string ReportCountCells(const reports::ReportCounts& c, bool days) {
  auto n = [](std::int64_t v) { return "<td class=\"n\">" + std::to_string(v) + "</td>"; };
  auto when = days ? DayAndClock : Clock;
  return n(c.results) + n(c.vetoed) + "<td class=\"n\">" +
         Html(reports::Percent(c.vetoed, c.results)) + "</td>" + n(c.advisory) + n(c.retests) +
         "<td>" + when(c.first) + "</td><td>" + when(c.last) + "</td>";
}

Page ReportPage(const std::shared_ptr<archive::ArchiveReader>& reader, const Query& query,
                std::int64_t nowUtcMs) {
  const auto it = query.find("day");
  const std::string day =
      it == query.end() || it->second.empty() ? archive::ToLocal(nowUtcMs).day : it->second;
  if (day.size() > 10 || !archive::IsDay(day))
    return ProblemPage(400, "日期有误",
                       "日期“" + CleanUtf8(day.substr(0, 64)) + "”不是 YYYY-MM-DD 形式的日期");
  reports::DayReport r;
  std::string error;
  if (!reports::BuildDayReport(reader, day, &r, &error))
    return ProblemPage(503, "无法读取存档", error);

  const std::string title = day + " 检测日报";
  const reports::ReportCounts& t = r.total;
  std::string html =
      PageHead(title, "page report") + PageBar("检测日报") + "<main>\n" +
      "<form class=\"filters noprint\" method=\"get\" action=\"/report\">\n"
      "<label>日期 <input type=\"date\" name=\"day\" value=\"" +
      day +
      "\"></label>\n<button type=\"submit\">查看</button>\n"
      "<button type=\"button\" id=\"print\">打印</button>\n"
      "<a href=\"/results?day=" +
      day + "\">当天的结果</a>\n</form>\n<h2 id=\"report-title\">" + Html(title) +
      "</h2>\n<p class=\"summary\" id=\"summary\">共 " + std::to_string(t.results) +
      " 条结果，其中 " + std::to_string(t.vetoed) + " 条有否决项（" +
      Html(reports::Percent(t.vetoed, t.results)) + "）、" + std::to_string(t.advisory) +
      " 条有建议项；复检 " + std::to_string(t.retests) + " 次" +
      (t.results > 0 ? "；首条 " + Clock(t.first) + "，末条 " + Clock(t.last) : std::string()) +
      "</p>\n";
  html += "<h3>按设备组</h3>\n<table class=\"report\" id=\"by-group\"><thead><tr><th>设备组</th>" +
          ReportCountHeads() + "</tr></thead><tbody>\n";
  for (const reports::GroupLine& g : r.groups)
    html += "<tr><td>" + GroupName(g.group) + "</td>" + Cells(g.counts) + "</tr>\n";
  html += "<tr class=\"all\"><td>合计</td>" + Cells(t) + "</tr>\n</tbody></table>\n";

  html +=
      "<h3>按工号</h3>\n<table class=\"report\" id=\"by-operator\"><thead><tr><th>工号</th>"
      "<th>设备组</th>" +
      ReportCountHeads() + "</tr></thead><tbody>\n";
  for (const reports::OperatorLine& op : r.operators) {
    std::string groups;
    for (const std::string& g : op.groups) groups += (groups.empty() ? "" : "、") + GroupName(g);
    html += "<tr><td>" + Html(StationText(op.operatorText)) + "</td><td>" + groups + "</td>" +
            Cells(op.counts) + "</tr>\n";
  }
  html += "</tbody></table>\n";

  html += "<h3>按项目</h3>\n<div class=\"halves\" id=\"by-code\">\n";
  const std::size_t half = (r.codes.size() + 1) / 2;
  html += CodeTable(r.codes, 0, half) + CodeTable(r.codes, half, r.codes.size());
  html +=
      "</div>\n<p "
      "class=\"note\">否决、建议：结果中至少有一个数值在窗口中显示为否决项（红）或建议项（绿）。"
      "复检：同一设备组、同一工号在上一条结果之后 " +
      std::to_string(reports::kRetestWindowMs / 1000) +
      " 秒内又出一条结果（同一辆车再检一次）。</p>\n";
  return {200, html + "</main>\n" + PageTail()};
}

}  // namespace web
