#include "web/CompanyReport.h"

#include <algorithm>
#include <map>
#include <set>

#include "web/PageParts.h"
#include "web/ReportPage.h"
#include "web/WebText.h"

namespace web {

namespace {

// Results read at a time, without their values.
constexpr std::int64_t kReportBatch = 5000;

// Counts of several lines added up: the first of their firsts, the last of
// their lasts.
void AddCounts(reports::ReportCounts* sum, const reports::ReportCounts& c) {
  sum->results += c.results;
  sum->vetoed += c.vetoed;
  sum->advisory += c.advisory;
  sum->retests += c.retests;
  sum->firstTests += c.firstTests;
  sum->firstPassed += c.firstPassed;
  if (!c.first.empty() && (sum->first.empty() || c.first < sum->first)) sum->first = c.first;
  if (c.last > sum->last) sum->last = c.last;
}

bool BuildLine(CompanySource& source, const CompanyLine& line, const reports::VehicleRule& vehicles,
               const std::string& from, const std::string& to,
               std::chrono::steady_clock::time_point deadline, reports::DayReport* report,
               std::string* error) {
  CompanyQuery q;
  q.lineId = line.lineId;
  q.filter.day = from;
  q.filter.lastDay = to;
  q.filter.limit = kReportBatch;
  q.values = false;
  reports::ReportTally tally(vehicles);
  std::vector<CompanyResult> batch;
  do {
    if (std::chrono::steady_clock::now() > deadline) {
      *error = "报表在 " + std::to_string(kCompanyReportLimit.count()) +
               " 秒内没有做完：请缩短日期范围，或只看一个站点";
      return false;
    }
    if (!source.Results(q, &batch, error)) return false;
    for (const CompanyResult& r : batch) tally.Add(r.result.row, r.vetoes > 0, r.advisories > 0);
    if (!batch.empty()) q.from = batch.back().key;
  } while (static_cast<std::int64_t>(batch.size()) == kReportBatch);
  *report = reports::DayReport();
  report->from = from;
  report->to = to;
  tally.Finish(report);
  return true;
}

std::string Text(const std::string& utf8) { return Html(CleanUtf8(utf8)); }

std::string LinesTable(const std::vector<LineReport>& reports, reports::CellForm form) {
  std::string html =
      "<h3>按线路</h3>\n<table class=\"report\" id=\"by-line\"><thead><tr>"
      "<th>站点</th><th>线路</th>" +
      ReportCountHeads() + "</tr></thead><tbody>\n";
  reports::ReportCounts all, site;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const LineReport& r = reports[i];
    html += "<tr><td>" + Text(r.line.site) + "</td><td>" + Text(r.line.line) + "</td>" +
            ReportCountCells(r.report.total, form) + "</tr>\n";
    AddCounts(&site, r.report.total);
    AddCounts(&all, r.report.total);
    if (i + 1 == reports.size() || reports[i + 1].line.site != r.line.site) {
      html += "<tr class=\"all\"><td>" + Text(r.line.site) + "</td><td>合计</td>" +
              ReportCountCells(site, form) + "</tr>\n";
      site = reports::ReportCounts();
    }
  }
  return html + "<tr class=\"all\"><td>全部</td><td>合计</td>" + ReportCountCells(all, form) +
         "</tr>\n</tbody></table>\n";
}

// Rows the device groups, a column per line: its results there and their
// veto rate.
std::string GroupsSideBySide(const std::vector<LineReport>& reports) {
  std::string sites, lines;
  for (std::size_t i = 0; i < reports.size();) {
    std::size_t n = 0;
    while (i + n < reports.size() && reports[i + n].line.site == reports[i].line.site) {
      lines += "<th>" + Text(reports[i + n].line.line) + "</th>";
      ++n;
    }
    sites += "<th colspan=\"" + std::to_string(n) + "\">" + Text(reports[i].line.site) + "</th>";
    i += n;
  }
  std::vector<std::string> groups;
  for (const LineReport& r : reports)
    for (const reports::GroupLine& g : r.report.groups)
      if (std::find(groups.begin(), groups.end(), g.group) == groups.end())
        groups.push_back(g.group);
  std::string html =
      "<h3>按设备组（各线路并列：结果与否决率）</h3>\n<div class=\"wide\"><table class=\"report "
      "side\" id=\"by-group\"><thead><tr><th></th>" +
      sites + "</tr><tr><th>设备组</th>" + lines + "</tr></thead><tbody>\n";
  for (const std::string& g : groups) {
    html += "<tr><td>" + Html(GroupText(g)) + "</td>";
    for (const LineReport& r : reports) {
      reports::ReportCounts c;
      for (const reports::GroupLine& line : r.report.groups)
        if (line.group == g) c = line.counts;
      html += "<td class=\"n\">" + std::to_string(c.results) + "<small>" +
              Html(reports::Percent(c.vetoed, c.results)) + "</small></td>";
    }
    html += "</tr>\n";
  }
  return html + "</tbody></table></div>\n";
}

std::string OperatorsTable(const std::vector<LineReport>& reports, reports::CellForm form) {
  std::string html =
      "<h3>按工号</h3>\n<table class=\"report\" id=\"by-operator\"><thead><tr><th>站点</th>"
      "<th>线路</th><th>工号</th><th>设备组</th>" +
      ReportCountHeads() + "</tr></thead><tbody>\n";
  for (const LineReport& r : reports) {
    for (const reports::OperatorLine& op : r.report.operators) {
      std::string groups;
      for (const std::string& g : op.groups)
        groups += (groups.empty() ? "" : "、") + Html(GroupText(g));
      html += "<tr><td>" + Text(r.line.site) + "</td><td>" + Text(r.line.line) + "</td><td>" +
              Html(StationText(op.operatorText)) + "</td><td>" + groups + "</td>" +
              ReportCountCells(op.counts, form) + "</tr>\n";
    }
  }
  return html + "</tbody></table>\n";
}

std::string FormMarkup(const std::vector<CompanyLine>& lines, const std::string& chosen,
                       const std::string& from, const std::string& to) {
  std::set<std::string> sites;
  for (const CompanyLine& l : lines) sites.insert(l.site);
  std::string options = "<option value=\"\">全部</option>";
  for (const std::string& s : sites)
    options +=
        "<option" + std::string(s == chosen ? " selected" : "") + ">" + Text(s) + "</option>";
  return "<form class=\"filters noprint\" method=\"get\" action=\"/report\">\n" +
         Input("从", "date", "from", from) + Input("到", "date", "to", to) +
         "<label>站点 <select name=\"site\">" + options +
         "</select></label>\n<button type=\"submit\">查看</button>\n"
         "<button type=\"button\" id=\"print\">打印</button>\n<a class=\"csv\" "
         "href=\"/results.csv?from=" +
         from + "&amp;to=" + to + "\">导出结果 CSV</a>\n</form>\n";
}

}  // namespace

bool BuildCompanyReport(CompanySource& source, const std::vector<CompanyLine>& lines,
                        const reports::VehicleRule& vehicles, const std::string& from,
                        const std::string& to, std::chrono::steady_clock::time_point deadline,
                        std::vector<LineReport>* reports, std::string* error) {
  reports->clear();
  for (const CompanyLine& line : lines) {
    reports->push_back({line, {}});
    if (!BuildLine(source, line, vehicles, from, to, deadline, &reports->back().report, error))
      return false;
  }
  return true;
}

Page CompanyReportPage(CompanySource& source, const std::vector<CompanyLine>& lines,
                       const reports::VehicleRule& vehicles, const Query& query, std::int64_t now) {
  std::string from, to, error;
  if (!ParseReportDays(query, now, &from, &to, &error)) return ProblemPage(400, "日期有误", error);
  const std::string site = Param(query, "site");
  std::vector<CompanyLine> chosen;
  for (const CompanyLine& l : lines)
    if (site.empty() || l.site == site) chosen.push_back(l);
  if (!site.empty() && chosen.empty())
    return ProblemPage(404, "没有这个站点",
                       "公司数据库中没有站点“" + CleanUtf8(site.substr(0, kMaxField)) + "”");
  std::vector<LineReport> reports;
  if (!BuildCompanyReport(source, chosen, vehicles, from, to,
                          std::chrono::steady_clock::now() + kCompanyReportLimit, &reports, &error))
    return ProblemPage(503, "无法读取公司数据库", error);
  reports::DayReport all;
  reports::ReportCounts& t = all.total;
  for (const LineReport& r : reports) AddCounts(&t, r.report.total);
  const reports::CellForm form = from == to ? reports::CellForm::kDay : reports::CellForm::kRange;
  const std::string title = (from == to ? from : from + " 至 " + to) + " " +
                            (site.empty() ? std::string("公司") : CleanUtf8(site)) + "报表";
  std::string html = PageHead(title, "page report") + PageBar("报表") + "<main>\n" +
                     FormMarkup(lines, site, from, to) + "<h2 id=\"report-title\">" + Html(title) +
                     "</h2>\n<p class=\"summary\" id=\"summary\">" +
                     std::to_string(reports.size()) + " 条线路" + ReportSummary(t, form) +
                     "</p>\n" + LinesTable(reports, form) + GroupsSideBySide(reports) +
                     OperatorsTable(reports, form) + ReportNote();
  return {200, html + "</main>\n" + PageTail()};
}

}  // namespace web
