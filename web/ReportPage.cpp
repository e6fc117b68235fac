#include "web/ReportPage.h"

#include "archive/ArchiveTime.h"
#include "reports/DayReport.h"
#include "reports/ReportColumns.h"
#include "web/PageParts.h"
#include "web/WebText.h"

namespace web {

namespace {

using reports::CellForm;

std::string GroupName(const std::string& caption) { return Html(GroupText(caption)); }

std::string CodeTable(const std::vector<reports::CodeLine>& codes, std::size_t from,
                      std::size_t to) {
  std::string html = "<table class=\"report codes\"><thead><tr>";
  for (const reports::CodeColumn& col : reports::CodeColumns())
    html += "<th>" + std::string(col.header) + "</th>";
  html += "</tr></thead><tbody>\n";
  for (std::size_t i = from; i < to && i < codes.size(); ++i) {
    html += "<tr>";
    for (const reports::CodeColumn& col : reports::CodeColumns())
      html +=
          "<td data-h=\"" + std::string(col.header) + "\">" + Html(col.cell(codes[i])) + "</td>";
    html += "</tr>\n";
  }
  return html + "</tbody></table>\n";
}

std::string Form(const std::string& from, const std::string& to, const std::string& span) {
  return "<form class=\"filters noprint\" method=\"get\" action=\"/report\">\n"
         "<label>日期 <input type=\"date\" name=\"day\" value=\"" +
         (from == to ? from : std::string()) +
         "\"></label>\n<button type=\"submit\">查看</button>\n"
         "<button type=\"button\" id=\"print\">打印</button>\n<a href=\"/report.csv" +
         Html(span) + "\">导出 CSV</a>\n" +
         (from == to ? "<a href=\"/results?day=" + from + "\">当天的结果</a>\n" : std::string()) +
         "</form>\n<form class=\"filters noprint\" method=\"get\" action=\"/report\">\n"
         "<label>从 <input type=\"date\" name=\"from\" value=\"" +
         from + "\"></label>\n<label>到 <input type=\"date\" name=\"to\" value=\"" + to +
         "\"></label>\n<button type=\"submit\">多日报表</button>\n</form>\n";
}

std::string Tables(const reports::DayReport& r, CellForm form) {
  std::string html =
      "<h3>按设备组</h3>\n<table class=\"report\" id=\"by-group\"><thead><tr><th>设备组</th>" +
      ReportCountHeads() + "</tr></thead><tbody>\n";
  for (const reports::GroupLine& g : r.groups)
    html +=
        "<tr><td>" + GroupName(g.group) + "</td>" + ReportCountCells(g.counts, form) + "</tr>\n";
  html += "<tr class=\"all\"><td>合计</td>" + ReportCountCells(r.total, form) +
          "</tr>\n</tbody></table>\n";
  html +=
      "<h3>按工号</h3>\n<table class=\"report\" id=\"by-operator\"><thead><tr><th>工号</th>"
      "<th>设备组</th>" +
      ReportCountHeads() + "</tr></thead><tbody>\n";
  for (const reports::OperatorLine& op : r.operators) {
    std::string groups;
    for (const std::string& g : op.groups) groups += (groups.empty() ? "" : "、") + GroupName(g);
    html += "<tr><td>" + Html(StationText(op.operatorText)) + "</td><td>" + groups + "</td>" +
            ReportCountCells(op.counts, form) + "</tr>\n";
  }
  html += "</tbody></table>\n<h3>按项目</h3>\n<div class=\"halves\" id=\"by-code\">\n";
  const std::size_t half = (r.codes.size() + 1) / 2;
  return html + CodeTable(r.codes, 0, half) + CodeTable(r.codes, half, r.codes.size()) + "</div>\n";
}

}  // namespace

std::string ReportCountCells(const reports::ReportCounts& c, CellForm form) {
  std::string html;
  for (const reports::CountColumn& col : reports::CountColumns())
    html += "<td class=\"n\" data-h=\"" + std::string(col.header) + "\">" +
            Html(col.cell(c, form)) + "</td>";
  return html;
}

std::string ReportCountHeads() {
  std::string html;
  for (const reports::CountColumn& col : reports::CountColumns())
    html += "<th>" + std::string(col.header) + "</th>";
  return html;
}

std::string ReportSummary(const reports::ReportCounts& t, CellForm form) {
  auto when = [&](const char* name) {
    for (const reports::CountColumn& col : reports::CountColumns())
      if (std::string(col.name) == name) return Html(col.cell(t, form));
    return std::string();
  };
  return "共 " + std::to_string(t.results) + " 条结果，其中 " + std::to_string(t.vetoed) +
         " 条有否决项（" + Html(reports::Percent(t.vetoed, t.results)) + "）、" +
         std::to_string(t.advisory) + " 条有建议项；复检 " + std::to_string(t.retests) +
         " 次；首检 " + std::to_string(t.firstTests) + " 车次，首检合格 " +
         std::to_string(t.firstPassed) + "（" +
         Html(reports::Percent(t.firstPassed, t.firstTests)) + "）" +
         (t.results > 0 ? "；首条 " + when("first") + "，末条 " + when("last") : std::string());
}

std::string ReportNote() {
  return "<p class=\"note\">否决、建议：结果中至少有一个数值在窗口中显示为否决项（红）或建议项"
         "（绿）。复检：同一辆车（按传输名认出）当天在同一设备组再检一次。车辆：当天在该设备组首次"
         "检测的车辆（按工号：该工号做的首检）；首检合格：首次检测的结果没有否决项。</p>\n";
}

bool ParseReportDays(const Query& query, std::int64_t nowUtcMs, std::string* from, std::string* to,
                     std::string* error) {
  const std::string day = Param(query, "day");
  *from = Param(query, "from");
  *to = Param(query, "to");
  if (from->empty() && to->empty())
    *from = *to = day.empty() ? archive::ToLocal(nowUtcMs).day : day;
  if (to->empty()) *to = *from;
  if (from->empty()) *from = *to;
  for (const std::string* d : {from, to}) {
    if (d->size() > 10 || !archive::IsDay(*d)) {
      *error = "日期“" + CleanUtf8(d->substr(0, 64)) + "”不是 YYYY-MM-DD 形式的日期";
      return false;
    }
  }
  int days = 0;
  std::string why;
  if (!reports::CheckReportRange(*from, *to, &days, &why)) {
    *error = *to < *from ? "结束日期早于开始日期"
                         : "一份报表最多 " + std::to_string(reports::kMaxReportDays) + " 天";
    return false;
  }
  return true;
}

Page ReportPage(const std::shared_ptr<archive::ArchiveReader>& reader, const Query& query,
                std::int64_t nowUtcMs, const reports::VehicleRule& vehicles) {
  std::string from, to, error;
  if (!ParseReportDays(query, nowUtcMs, &from, &to, &error))
    return ProblemPage(400, "日期有误", error);
  reports::DayReport r;
  if (!reports::BuildReport(reader, vehicles, from, to, &r, &error))
    return ProblemPage(503, "无法读取存档", error);
  const bool oneDay = from == to;
  const CellForm form = oneDay ? CellForm::kDay : CellForm::kRange;
  const std::string title = oneDay ? from + " 检测日报" : from + " 至 " + to + " 检测报表";
  const std::string& line = PageLineName();
  const std::string span = oneDay ? "?day=" + from : "?from=" + from + "&to=" + to;
  std::string html =
      PageHead(title, "page report") + PageBar(oneDay ? "检测日报" : "检测报表") + "<main>\n" +
      Form(from, to, span) + "<h2 id=\"report-title\">" +
      (line.empty() ? std::string() : "<span class=\"line\">" + Html(line) + "</span> ") +
      Html(title) + "</h2>\n<p class=\"summary\" id=\"summary\">" + ReportSummary(r.total, form) +
      "</p>\n" + Tables(r, form) + ReportNote();
  return {200, html + "</main>\n" + PageTail()};
}

}  // namespace web
