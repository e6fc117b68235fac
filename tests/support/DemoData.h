// DemoData - the demo results (data/demo/*.txt) read on their own terms, and
// what the window shows for them, worked out through the routing table: a
// display's text and judge colour once every file has been shown, and the
// writes the window makes for one file. The demo data and the routing thus
// cannot drift apart unnoticed in any test that uses them.
#ifndef BRENNA_TESTS_DEMODATA_H
#define BRENNA_TESTS_DEMODATA_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "panel/ResultRouting.h"
#include "platform/Gbk.h"

struct DemoLine {
  int code;
  int judge;
  std::string value;  // UTF-8, as written
};

struct DemoFile {
  std::string path;
  std::vector<DemoLine> lines;
};

// The description format: code, judge, then the rest of the line as the
// value; blank and '#' lines skipped.
inline DemoFile ReadDemo(const std::filesystem::path& path) {
  DemoFile demo{path.string(), {}};
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    std::istringstream fields(line);
    DemoLine d{};
    fields >> d.code >> d.judge;
    EXPECT_FALSE(fields.fail()) << path << ": " << line;
    std::getline(fields, d.value);
    const auto v = d.value.find_first_not_of(" \t");
    d.value = v == std::string::npos ? "" : d.value.substr(v);
    demo.lines.push_back(d);
  }
  return demo;
}

// Every description of the folder, by name.
inline std::vector<DemoFile> DemoFiles(const std::string& dir) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".txt") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  std::vector<DemoFile> files;
  for (const auto& p : paths) files.push_back(ReadDemo(p));
  return files;
}

inline const DemoLine* FirstWithCode(const DemoFile& f, int code) {
  for (const DemoLine& l : f.lines)
    if (l.code == code) return &l;
  return nullptr;
}

// The transfer name brenna-send gives a file: its name without extension.
inline std::string DemoName(const DemoFile& f) {
  return std::filesystem::path(f.path).stem().string();
}

struct Shown {
  std::string text;  // GBK
  COLORREF color;
};

// What the window writes for a description, in order: the operator of its
// group (blue), then every routed item in its judge colour.
inline std::vector<std::pair<int, Shown>> ExpectedWrites(const DemoFile& f) {
  std::vector<std::pair<int, Shown>> writes;
  const DemoLine* device = FirstWithCode(f, kItemDeviceCode);
  const DemoLine* op = FirstWithCode(f, kItemOperator);
  if (op == nullptr) op = FirstWithCode(f, kItemOperatorAlt);
  if (const int d = device ? OperatorDisplayForDevice(std::atoi(device->value.c_str())) : 0)
    writes.push_back({d, {op ? Gbk(op->value) : "", kColorBlue}});
  for (const DemoLine& l : f.lines)
    if (const ResultRoute* r = FindRoute(l.code))
      writes.push_back(
          {r->displayId, {FormatValue(r->format, Gbk(l.value)), JudgeColor(r->scheme, l.judge)}});
  return writes;
}

// Display ID -> what it shows once every file has been shown once.
inline std::map<int, Shown> ExpectedScreen(const std::vector<DemoFile>& files) {
  std::map<int, Shown> screen;
  for (const DemoFile& f : files)
    for (const auto& [id, shown] : ExpectedWrites(f)) screen[id] = shown;
  return screen;
}

#endif  // BRENNA_TESTS_DEMODATA_H
