#include "reports/ReportColumns.h"

#include <cstdio>

#include "reports/ArchiveText.h"

namespace reports {

namespace {

std::string Number(std::int64_t n) { return std::to_string(n); }

std::string Rate(std::int64_t part, std::int64_t whole, CellForm form) {
  if (form != CellForm::kCsv) return Percent(part, whole);
  if (whole <= 0) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(part) / whole);
  return text;
}

// "YYYY-MM-DD hh:mm:ss.mmm" as the form wants it.
std::string When(const std::string& shownLocal, CellForm form) {
  if (shownLocal.size() < 19) return form == CellForm::kCsv ? std::string() : std::string("-");
  switch (form) {
    case CellForm::kDay:
      return FromUtf8(shownLocal.substr(11, 8));
    case CellForm::kRange:
      return FromUtf8(shownLocal.substr(5, 11));
    case CellForm::kCsv:
      break;
  }
  return CsvCell(FromUtf8(shownLocal.substr(0, 19)));
}

const std::vector<CountColumn> kCountColumns = {
    {"results", "结果", "RESULTS",
     [](const ReportCounts& c, CellForm) { return Number(c.results); }},
    {"vetoed", "否决", "VETO", [](const ReportCounts& c, CellForm) { return Number(c.vetoed); }},
    {"veto_rate", "否决率", "VETO%",
     [](const ReportCounts& c, CellForm f) { return Rate(c.vetoed, c.results, f); }},
    {"advisory", "建议", "ADVISORY",
     [](const ReportCounts& c, CellForm) { return Number(c.advisory); }},
    {"retests", "复检", "RETESTS",
     [](const ReportCounts& c, CellForm) { return Number(c.retests); }},
    {"vehicles", "车辆", "VEHICLES",
     [](const ReportCounts& c, CellForm) { return Number(c.firstTests); }},
    {"first_passed", "首检合格", "1ST PASS",
     [](const ReportCounts& c, CellForm) { return Number(c.firstPassed); }},
    {"first_pass_rate", "首检合格率", "1ST PASS%",
     [](const ReportCounts& c, CellForm f) { return Rate(c.firstPassed, c.firstTests, f); }},
    {"first", "首条", "FIRST", [](const ReportCounts& c, CellForm f) { return When(c.first, f); }},
    {"last", "末条", "LAST", [](const ReportCounts& c, CellForm f) { return When(c.last, f); }},
};

const std::vector<CodeColumn> kCodeColumns = {
    {"code", "代码", "CODE", [](const CodeLine& c) { return Number(c.code); }},
    {"group", "设备组", "GROUP",
     [](const CodeLine& c) { return c.group.empty() ? std::string("-") : FromUtf8(c.group); }},
    {"value", "项目", "VALUE", [](const CodeLine& c) { return std::string(c.name); }},
    {"shown", "次数", "SHOWN", [](const CodeLine& c) { return Number(c.values); }},
    {"vetoes", "否决", "VETOES", [](const CodeLine& c) { return Number(c.vetoes); }},
    {"veto_rate", "否决率", "VETO%", [](const CodeLine& c) { return Percent(c.vetoes, c.values); }},
    {"advisories", "建议", "ADVISORIES", [](const CodeLine& c) { return Number(c.advisories); }},
};

}  // namespace

const std::vector<CountColumn>& CountColumns() { return kCountColumns; }

const std::vector<CodeColumn>& CodeColumns() { return kCodeColumns; }

std::string ReportCsv(const DayReport& report) {
  std::string csv = "\xEF\xBB\xBF设备组";
  for (const CountColumn& c : kCountColumns) csv += std::string(",") + c.header;
  csv += "\r\n";
  for (const GroupLine& g : report.groups) {
    csv += CsvCell(g.group.empty() ? std::string("（无设备组）") : FromUtf8(g.group));
    for (const CountColumn& c : kCountColumns) csv += "," + c.cell(g.counts, CellForm::kCsv);
    csv += "\r\n";
  }
  return csv;
}

}  // namespace reports
