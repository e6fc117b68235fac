// CsvTable - a CSV file the programs write (UTF-8 with a byte order mark,
// lines ended CR LF, cells quoted where they must be) read back as rows of
// cells by their column's heading, so that tests never count columns.
#ifndef BRENNA_TESTS_CSVTABLE_H
#define BRENNA_TESTS_CSVTABLE_H

#include <map>
#include <string>
#include <vector>

using CsvRow = std::map<std::string, std::string>;

// The cells of one line, unquoted.
inline std::vector<std::string> CsvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

// Every row below the heading line, each cell under its heading.
inline std::vector<CsvRow> ReadCsv(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<CsvRow> rows;
  std::vector<std::string> headings;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string> cells = CsvCells(text.substr(at, end - at));
    at = end + 2;
    if (headings.empty()) {
      headings = cells;
      continue;
    }
    CsvRow row;
    for (std::size_t i = 0; i < cells.size() && i < headings.size(); ++i)
      row[headings[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}

#endif  // BRENNA_TESTS_CSVTABLE_H
