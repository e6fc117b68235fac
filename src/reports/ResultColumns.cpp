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
};

std::string Line(const ValueRow& row) {
  std::string line;
  for (const ResultColumn& c : kColumns) line += (line.empty() ? "" : ",") + c.cell(row);
  return line + "\r\n";
}

}  // namespace

const std::vector<ResultColumn>& ResultColumns() { return kColumns; }

std::string CsvHeader() {
  std::string line = "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < kColumns.size(); ++i)
    line += (i ? "," : "") + std::string(kColumns[i].header);
  return line + "\r\n";
}

std::string CsvRows(const archive::ResultRow& result,
                    const std::vector<archive::RecordItem>& items) {
  std::string rows;
  for (const ShownValue& v : ShownValues(items)) rows += Line({&result, &v});
  return rows.empty() ? Line({&result, nullptr}) : rows;
}

}  // namespace reports
