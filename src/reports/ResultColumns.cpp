#include "reports/ResultColumns.h"

#include "reports/ArchiveText.h"

namespace reports {

namespace {

std::string Number(std::int64_t n) { return std::to_string(n); }

std::string ValueOr(const ValueRow& row, std::string (*cell)(const ShownValue&)) {
  return row.value != nullptr ? cell(*row.value) : std::string();
}

const std::vector<ResultColumn> kColumns = {
    {"id", "编号", [](const ValueRow& r) { return Number(r.result->id); }},
    {"shown", "显示时间",
     [](const ValueRow& r) { return CsvCell(FromUtf8(r.result->shownLocal)); }},
    {"group", "设备组", [](const ValueRow& r) { return CsvCell(FromUtf8(r.result->deviceGroup)); }},
    {"operator", "工号",
     [](const ValueRow& r) { return CsvTextCell(FromGbk(r.result->operatorText)); }},
    {"item_code", "项目代码",
     [](const ValueRow& r) {
       return ValueOr(r, [](const ShownValue& v) { return Number(v.code); });
     }},
    {"item_name", "项目名称",
     [](const ValueRow& r) {
       return ValueOr(r, [](const ShownValue& v) { return CsvCell(v.name); });
     }},
    {"value", "数值（原样）",
     [](const ValueRow& r) {
       return ValueOr(r, [](const ShownValue& v) { return CsvValueCell(FromGbk(v.value)); });
     }},
    {"verdict", "判定",
     [](const ValueRow& r) {
       return ValueOr(r, [](const ShownValue& v) {
         return v.verdict != nullptr ? std::string(v.verdict->legendText) : std::string();
       });
     }},
    {"display", "显示框",
     [](const ValueRow& r) {
       return ValueOr(r, [](const ShownValue& v) { return Number(v.displayId); });
     }},
    {"device_code", "设备代码", [](const ValueRow& r) { return Number(r.result->deviceCode); }},
    {"items", "项目数", [](const ValueRow& r) { return Number(r.result->itemCount); }},
    {"title_count", "标题计数",
     [](const ValueRow& r) {
       return r.result->titleCount < 0 ? std::string() : Number(r.result->titleCount);
     }},
    {"stations", "检测站",
     [](const ValueRow& r) { return CsvTextCell(FromUtf8(r.result->stations)); }},
    {"transfer", "传输名",
     [](const ValueRow& r) { return CsvTextCell(FromGbk(r.result->transfer)); }},
    {"vehicle", "车辆", [](const ValueRow& r) { return CsvTextCell(FromGbk(*r.vehicle)); }},
};

// A result's own columns, for a row per result.
const ResultColumn kResultVerdict = {"result_verdict", "判定", [](const ValueRow& r) {
                                       return r.verdicts->worst != nullptr
                                                  ? std::string(r.verdicts->worst->legendText)
                                                  : std::string();
                                     }};
const ResultColumn kVetoes = {"vetoes", "否决项数", [](const ValueRow& r) {
                                return std::to_string(r.verdicts->vetoes.size());
                              }};
const ResultColumn kAdvisories = {"advisories", "建议项数", [](const ValueRow& r) {
                                    return std::to_string(r.verdicts->advisories.size());
                                  }};

const ResultColumn& Named(const char* name) {
  for (const ResultColumn& c : kColumns)
    if (std::string(c.name) == name) return c;
  return kColumns.front();  // never: every name below is in the table
}

const std::vector<ResultColumn> kPerResult = {
    Named("id"),          Named("shown"),       Named("group"),
    Named("operator"),    kResultVerdict,       kVetoes,
    kAdvisories,          Named("device_code"), Named("items"),
    Named("title_count"), Named("stations"),    Named("transfer"),
    Named("vehicle")};

std::string Line(const std::vector<ResultColumn>& columns, const ValueRow& row) {
  std::string line;
  for (const ResultColumn& c : columns) line += (line.empty() ? "" : ",") + c.cell(row);
  return line + "\r\n";
}

}  // namespace

const std::vector<ResultColumn>& ResultColumns() { return kColumns; }

const std::vector<ResultColumn>& PerResultColumns() { return kPerResult; }

std::string CsvHeader(const std::vector<ResultColumn>& columns) {
  std::string line = "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < columns.size(); ++i)
    line += (i ? "," : "") + std::string(columns[i].header);
  return line + "\r\n";
}

std::string CsvRows(const archive::ResultRow& result, const std::vector<archive::RecordItem>& items,
                    const std::string& vehicle) {
  std::string rows;
  for (const ShownValue& v : ShownValues(items)) rows += Line(kColumns, {&result, &v, &vehicle});
  return rows.empty() ? Line(kColumns, {&result, nullptr, &vehicle}) : rows;
}

std::string CsvResultRow(const archive::ResultRow& result,
                         const std::vector<archive::RecordItem>& items,
                         const std::string& vehicle) {
  const VerdictSummary verdicts = SummarizeVerdicts(items);
  return Line(kPerResult, {&result, nullptr, &vehicle, &verdicts});
}

}  // namespace reports
