#include "history/ReportText.h"

#include "history/HistoryReport.h"
#include "history/TerminalText.h"
#include "reports/ArchiveText.h"
#include "reports/DayReport.h"
#include "reports/ReportColumns.h"

namespace history {

using reports::CellForm;
using reports::PadRight;

namespace {

// Each column as wide as its heading, at least 8.
int Width(const char* heading) {
  const int size = static_cast<int>(std::string(heading).size());
  return size > 8 ? size : 8;
}

std::string CountsHeading() {
  std::string line;
  for (const reports::CountColumn& c : reports::CountColumns())
    line += "  " + Right(c.terminal, Width(c.terminal));
  return line + "\n";
}

std::string CountsText(const reports::ReportCounts& counts, CellForm form) {
  std::string line;
  for (const reports::CountColumn& c : reports::CountColumns())
    line += "  " + Right(c.cell(counts, form), Width(c.terminal));
  return line + "\n";
}

// The cell of the count column `name`.
std::string CellOf(const char* name, const reports::ReportCounts& counts, CellForm form) {
  for (const reports::CountColumn& c : reports::CountColumns())
    if (std::string(c.name) == name) return c.cell(counts, form);
  return std::string();
}

std::string Summary(const reports::DayReport& r, CellForm form) {
  const reports::ReportCounts& t = r.total;
  const std::string days = r.from == r.to ? r.from : r.from + " to " + r.to;
  return "Report of " + days + ": " + std::to_string(t.results) + " results, " +
         std::to_string(t.vetoed) + " with a veto (" + reports::Percent(t.vetoed, t.results) +
         "), " + std::to_string(t.advisory) + " with an advisory, " + std::to_string(t.retests) +
         " retests; " + std::to_string(t.firstPassed) + " of " + std::to_string(t.firstTests) +
         " first tests passed (" + reports::Percent(t.firstPassed, t.firstTests) + "); first " +
         CellOf("first", t, form) + ", last " + CellOf("last", t, form) + "\n";
}

// A cell of the table of values: the group and the value's name aligned
// left, the rest right.
std::string CodeCell(const reports::CodeColumn& c, const std::string& text) {
  const std::string name = c.name;
  if (name == "group") return "  " + PadRight(text, 14);
  if (name == "value") return "  " + PadRight(text, 22);
  return "  " + Right(text, Width(c.terminal));
}

void PrintTables(const reports::DayReport& r, CellForm form, std::FILE* out) {
  Put(out, "\n" + PadRight("BY GROUP", 16) + CountsHeading());
  for (const reports::GroupLine& g : r.groups)
    Put(out, PadRight(Group(g.group), 16) + CountsText(g.counts, form));
  Put(out, PadRight("all", 16) + CountsText(r.total, form));
  Put(out, "\n" + PadRight("BY OPERATOR", 12) + PadRight("GROUPS", 30) + CountsHeading());
  for (const reports::OperatorLine& op : r.operators) {
    std::string groups;
    for (const std::string& g : op.groups) groups += (groups.empty() ? "" : ", ") + Group(g);
    Put(out, PadRight(reports::FromGbk(op.operatorText), 12) + PadRight(groups, 30) +
                 CountsText(op.counts, form));
  }
  std::string heading = "\n";
  for (const reports::CodeColumn& c : reports::CodeColumns()) heading += CodeCell(c, c.terminal);
  Put(out, heading + "\n");
  for (const reports::CodeLine& line : r.codes) {
    std::string row;
    for (const reports::CodeColumn& c : reports::CodeColumns()) row += CodeCell(c, c.cell(line));
    Put(out, row + "\n");
  }
}

}  // namespace

int PrintReport(const std::shared_ptr<archive::ArchiveReader>& reader,
                const HistoryOptions& options, const reports::VehicleRule& rule, std::FILE* out,
                std::string* error) {
  reports::DayReport r;
  if (!reports::BuildReport(reader, rule, options.reportFrom, options.reportTo, &r, error))
    return kUnreadable;
  if (options.csv) {
    Put(out, reports::ReportCsv(r));
    return kDone;
  }
  const CellForm form = r.from == r.to ? CellForm::kDay : CellForm::kRange;
  Put(out, Summary(r, form));
  Put(out,
      "(a retest: the same vehicle, as its transfer name tells, tested again at the same group "
      "that day; a first test passed: a vehicle's first result at a group that day without a "
      "veto)\n");
  PrintTables(r, form, out);
  return kDone;
}

}  // namespace history
