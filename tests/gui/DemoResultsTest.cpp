// The demo results end to end: the window listens on a free port of a
// private site, the station tool (the built program, as a child process)
// sends every file of data/demo, in order, reversed, shuffled, duplicated,
// paced and repeated, or from several stations at once; once the title has
// counted them, every routed display and every operator display shows what
// the descriptions say, in the colour their judge codes give. What a
// display should show is worked out from the description through the
// routing table, so the demo data and the routing cannot drift apart
// unnoticed.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "DemoData.h"
#include "FreePort.h"
#include "GuiHelpers.h"
#include "TestSite.h"
#include "ToolRun.h"
#include "app/BrennaCenterDlg.h"
#include "app/Fonts.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "monitor/Globals.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"

namespace fs = std::filesystem;

namespace {

std::vector<DemoFile> DemoFiles() { return ::DemoFiles(BRENNA_DEMO_DIR); }

std::string ColorName(COLORREF c) {
  switch (c) {
    case kColorBlue:
      return "blue";
    case kColorRed:
      return "red";
    case kColorGreen:
      return "green";
    case kColorBlack:
      return "black";
    case kColorWhite:
      return "white";
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "0x%06x", c);
      return text;
    }
  }
}

class DemoDlg : public WithScenario<DemoDlg, CBrennaCenterDlg> {
 public:
  CValueDisplay& Display(int id) { return *dynamic_cast<CValueDisplay*>(ValueDisplay(id)); }
};

// A sentinel no result ever produces, so a display that still shows it was
// not reached by this run's results.
constexpr COLORREF kUntouched = RGB(1, 2, 3);

// How the tool is asked to send, and what the monitor must count for it.
struct Variant {
  const char* name;
  std::vector<const char*> options;
  int transfersPerFile;  // stations x rounds
  bool duplicated;
  bool fromWindows = false;  // the Windows build's brenna-send.exe, under wine
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

class DemoResultsTest : public ::testing::TestWithParam<Variant> {
 protected:
  static void SetUpTestSuite() { InstallFontSubstitutions(); }
  void SetUp() override { g_nNetPort = 0; }
  void TearDown() override {
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    UnloadPallix();
    g_pMainDlg = nullptr;
  }

  bool SpoolHoldsResults() const {
    for (const auto& entry : fs::directory_iterator(site.spool()))
      if (entry.path().extension() == ".DOING") return true;
    return false;
  }

  TestSite site;
};

TEST_P(DemoResultsTest, EveryDisplayShowsItsDescribedValueInItsJudgeColour) {
  const Variant& variant = GetParam();
  const std::vector<DemoFile> files = DemoFiles();
  ASSERT_FALSE(files.empty()) << "no demo files in " << BRENNA_DEMO_DIR;
  const std::map<int, Shown> expected = ExpectedScreen(files);

  const int port = FreePort();
  site.SetPort(port);
  DemoDlg dlg;
  dlg.RunScenario([&](DemoDlg& d) {
    // The idle state reaches the operator displays from the worker; let it
    // land before the displays are marked.
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.Display(1119).Text() == Gbk("设备空闲"); }, 30000));
    for (const auto& [id, shown] : expected) {
      d.Display(id).SetColors(kUntouched, kUntouched);
      d.Display(id).SetText("?");
    }

    std::vector<std::string> argv = {BRENNA_SEND};
    if (variant.fromWindows) {
#if defined(BRENNA_WINDOWS_SEND)
      ASSERT_TRUE(fs::exists(BRENNA_WINDOWS_SEND))
          << "the Windows build lacks " << BRENNA_WINDOWS_SEND;
      argv = {BRENNA_RUN_WINDOWS, BRENNA_WINDOWS_SEND};
#endif
    }
    for (const char* o : variant.options) argv.push_back(o);
    argv.push_back("127.0.0.1:" + std::to_string(port));
    for (const DemoFile& f : files) argv.push_back(f.path);
    std::string output;
    ASSERT_EQ(0, RunWhileTheWindowRuns(argv, 60000, &output)) << output;

    const int count = static_cast<int>(files.size()) * variant.transfersPerFile;
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() >= count; }, 60000))
        << "shown " << d.ShownFiles() << " of " << count << "\ntool output:\n"
        << output;
    if (variant.duplicated) {
      // A copy of a one-chunk transfer that arrives after the monitor took
      // the transfer in is a new transfer: shown again if the window had
      // already cleared the first. So the count may exceed the files, by at
      // most one per file.
      ASSERT_TRUE(QTest::qWaitFor([&] { return !SpoolHoldsResults(); }, 30000));
      QTest::qWait(1500);  // one more scan for a late copy
      EXPECT_LE(d.ShownFiles(), 2 * count);
    } else {
      EXPECT_EQ(d.ShownFiles(), count);
    }
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据监控(%1)").arg(d.ShownFiles()));

    for (const auto& [id, shown] : expected) {
      const CValueDisplay& display = d.Display(id);
      EXPECT_EQ(display.Text(), shown.text)
          << "display " << id << " shows \"" << GbkToUtf8(display.Text()) << "\", expected \""
          << GbkToUtf8(shown.text) << "\"";
      EXPECT_EQ(display.TextColor(), shown.color)
          << "display " << id << " is " << ColorName(display.TextColor()) << ", expected "
          << ColorName(shown.color);
      EXPECT_EQ(display.BackgroundColor(), kColorWhite) << "display " << id;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Sending, DemoResultsTest,
    ::testing::Values(
        Variant{"InOrder", {}, 1, false}, Variant{"Reversed", {"--order", "reversed"}, 1, false},
        Variant{"Shuffled", {"--order", "shuffled", "--seed", "20261207"}, 1, false},
        Variant{"Duplicated", {"--duplicate"}, 1, true},
        Variant{"PacedAndRepeated", {"--pause", "20", "--repeat", "2"}, 2, false},
        Variant{"ThreeStationsAtOnce", {"--stations", "3", "--order", "reversed"}, 3, false}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

#if defined(BRENNA_WINDOWS_SEND)
// The station side built for Windows (brenna-send.exe over libPallix.dll,
// run under wine) against this monitor.
INSTANTIATE_TEST_SUITE_P(
    SendingFromWindows, DemoResultsTest,
    ::testing::Values(Variant{"InOrder", {}, 1, false, true},
                      Variant{"ThreeStationsShuffled",
                              {"--stations", "3", "--order", "shuffled", "--seed", "7"},
                              3,
                              false,
                              true}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });
#endif

// The demo set is what the README promises: one file per device group,
// together every routed item, operators under both information items, and
// the four legend colours, with nothing drawn white on white.
TEST(DemoData, CoversEveryGroupEveryRoutedItemAndTheFourColours) {
  const std::vector<DemoFile> files = DemoFiles();
  std::set<int> devices, codes;
  std::set<COLORREF> colours;
  bool operatorUnder7708Only = false;
  for (const DemoFile& f : files) {
    const DemoLine* device = FirstWithCode(f, kItemDeviceCode);
    ASSERT_NE(device, nullptr) << f.path;
    const int code = std::atoi(device->value.c_str());
    EXPECT_NE(OperatorDisplayForDevice(code), 0) << f.path << ": device " << code;
    EXPECT_TRUE(devices.insert(code).second) << f.path << ": a second file for device " << code;
    const bool has7701 = FirstWithCode(f, kItemOperator) != nullptr;
    const bool has7708 = FirstWithCode(f, kItemOperatorAlt) != nullptr;
    EXPECT_TRUE(has7701 || has7708) << f.path << " names no operator";
    operatorUnder7708Only |= has7708 && !has7701;
    for (const DemoLine& l : f.lines) {
      if (const ResultRoute* r = FindRoute(l.code)) {
        codes.insert(l.code);
        colours.insert(JudgeColor(r->scheme, l.judge));
      }
    }
  }
  EXPECT_EQ(devices.size(), 7u);
  EXPECT_TRUE(operatorUnder7708Only) << "no file shows an operator under 7708 alone";
  int routeCount = 0;
  const ResultRoute* routes = ResultRoutes(&routeCount);
  for (int i = 0; i < routeCount; ++i)
    EXPECT_EQ(codes.count(routes[i].itemCode), 1u)
        << "no demo value for item " << routes[i].itemCode;
  EXPECT_EQ(colours, (std::set<COLORREF>{kColorBlue, kColorRed, kColorGreen, kColorBlack}));
}

// CSV as brenna-history writes it: one record a line (line breaks inside
// a text are escaped), cells quoted when they hold a comma or a quote; the
// list's file begins with a byte order mark and ends its lines CR LF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
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
    rows.push_back(cells);
  }
  return rows;
}

COLORREF ColourOf(const std::string& name) {
  if (name == "blue") return kColorBlue;
  if (name == "red") return kColorRed;
  if (name == "green") return kColorGreen;
  if (name == "black") return kColorBlack;
  if (name == "white") return kColorWhite;
  return kUntouched;
}

// brenna-history with these arguments must succeed; its CSV.
std::vector<std::vector<std::string>> History(const std::string& archivePath,
                                              std::vector<std::string> args) {
  std::vector<std::string> argv = {BRENNA_HISTORY, "--archive", archivePath, "--csv"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  EXPECT_EQ(0, RunWhileTheWindowRuns(argv, 60000, &output)) << args[0] << ": " << output;
  return ParseCsv(output);
}

}  // namespace

// The demo sent to a window that keeps an archive: brenna-history lists the
// seven results in the order shown with their group, operator and title
// count, shows each with every item as sent and every display write the
// window made (text and colour), and its panel equals the window's
// displays, display by display; before the first result it is the idle
// state the worker drew.
TEST(DemoArchive, BrennaHistoryReadsBackEveryValueAndColourTheWindowDrew) {
  InstallFontSubstitutions();
  g_nNetPort = 0;
  TestSite site;
  TempDir state;
  const std::string archivePath = state.file("brennacenter/archive.sqlite");
  const std::vector<DemoFile> files = DemoFiles();
  ASSERT_EQ(7u, files.size());
  std::map<int, Shown> window;
  std::int64_t lookedAt = 0;
  archive::ArchiveWriter writer;
  {
    DemoDlg dlg;
    dlg.AttachArchive(&writer, archivePath);
    dlg.RunScenario([&](DemoDlg& d) {
      ASSERT_TRUE(
          QTest::qWaitFor([&] { return d.Display(1119).Text() == Gbk("设备空闲"); }, 30000));
      std::vector<std::string> argv = {BRENNA_SEND, "127.0.0.1:" + std::to_string(site.Port())};
      for (const DemoFile& f : files) argv.push_back(f.path);
      std::string output;
      ASSERT_EQ(0, RunWhileTheWindowRuns(argv, 60000, &output)) << output;
      ASSERT_TRUE(QTest::qWaitFor([&] { return d.ShownFiles() >= 7; }, 60000)) << output;
      lookedAt = archive::NowUtcMs();
      for (int id : kValueDisplayIds) {
        const CValueDisplay& display = d.Display(id);
        window[id] = {GbkToUtf8(display.Text()), display.TextColor()};
        EXPECT_EQ(kColorWhite, display.BackgroundColor()) << id;
      }
    });
    g_taskMgr.StopTask();
    g_taskMgr.ClearTaskQueue();
    UnloadPallix();
    g_pMainDlg = nullptr;
  }
  writer.Stop("test");
  EXPECT_EQ(7u, writer.Counts().archived);

  // The list, in the order shown (the station tool sends the files sorted):
  // a row per value the window showed, each with its result's columns.
  const auto values = History(archivePath, {"--since", "0"});
  ASSERT_FALSE(values.empty());
  ASSERT_EQ("编号", values[0][0]);
  std::vector<std::vector<std::vector<std::string>>> results;  // each result's rows
  for (std::size_t k = 1; k < values.size(); ++k) {
    ASSERT_EQ(14u, values[k].size());
    if (results.empty() || results.back()[0][0] != values[k][0]) results.emplace_back();
    results.back().push_back(values[k]);
  }
  ASSERT_EQ(7u, results.size()) << "seven results";
  std::map<std::string, const DemoFile*> byName;
  for (const DemoFile& f : files) byName[fs::path(f.path).stem().string()] = &f;
  std::vector<std::vector<std::string>> list = {values[0]};  // a row of each result
  for (std::size_t k = 0; k < results.size(); ++k) {
    const std::vector<std::string>& row = results[k][0];
    list.push_back(row);
    const std::string& transfer = row[13];
    SCOPED_TRACE(transfer);
    ASSERT_EQ(1u, byName.count(transfer));
    const DemoFile& f = *byName[transfer];
    EXPECT_EQ(std::to_string(k + 1), row[11]) << "title count";
    EXPECT_EQ(std::to_string(f.lines.size()), row[10]) << "items";
    EXPECT_EQ(0u, row[12].rfind("127.0.0.1:", 0)) << "stations: " << row[12];
    const int device = std::atoi(FirstWithCode(f, kItemDeviceCode)->value.c_str());
    EXPECT_EQ(std::to_string(device), row[9]);
    EXPECT_EQ(std::string(GroupCaptionOf(OperatorDisplayForDevice(device))), row[2]);
    // Every value the window showed, as sent, with the verdict its colour
    // says in the legend and the display it went to.
    std::vector<const DemoLine*> routed;
    for (const DemoLine& l : f.lines)
      if (FindRoute(l.code) != nullptr) routed.push_back(&l);
    ASSERT_EQ(routed.size(), results[k].size());
    for (std::size_t i = 0; i < routed.size(); ++i) {
      const std::vector<std::string>& v = results[k][i];
      const ResultRoute* route = FindRoute(routed[i]->code);
      EXPECT_EQ(std::to_string(routed[i]->code), v[4]);
      EXPECT_EQ(routed[i]->value, v[6]) << "item " << routed[i]->code;
      EXPECT_EQ(std::to_string(route->displayId), v[8]);
      std::string verdict;
      for (const VerdictLook& look : kVerdicts)
        if (look.color == JudgeColor(route->scheme, routed[i]->judge)) verdict = look.legendText;
      EXPECT_EQ(verdict, v[7]) << "item " << routed[i]->code;
    }

    // The result: every item as sent, every write as drawn.
    const auto shown = History(archivePath, {"--show", row[0]});
    std::vector<std::vector<std::string>> items, writes;
    for (std::size_t i = 1; i < shown.size(); ++i)
      (shown[i][0] == "item" ? items : writes).push_back(shown[i]);
    ASSERT_EQ(f.lines.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(std::to_string(f.lines[i].code), items[i][2]);
      EXPECT_EQ(std::to_string(f.lines[i].judge), items[i][3]);
      EXPECT_EQ(f.lines[i].value, items[i][5]) << "item " << f.lines[i].code;
    }
    const auto expected = ExpectedWrites(f);
    ASSERT_EQ(expected.size(), writes.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
      EXPECT_EQ(std::to_string(expected[i].first), writes[i][4]);
      EXPECT_EQ(GbkToUtf8(expected[i].second.text), writes[i][5])
          << "display " << expected[i].first;
      EXPECT_EQ(expected[i].second.color, ColourOf(writes[i][6]))
          << "display " << expected[i].first;
      EXPECT_EQ("white", writes[i][7]);
    }
  }

  // The panel when the window's displays were looked at: all 77, text and
  // colour.
  const auto atEnd = History(archivePath, {"--panel", archive::ToLocal(lookedAt).text});
  ASSERT_EQ(1u + std::size(kValueDisplayIds), atEnd.size());
  for (std::size_t i = 1; i < atEnd.size(); ++i) {
    const int id = std::atoi(atEnd[i][0].c_str());
    ASSERT_EQ(1u, window.count(id)) << id;
    EXPECT_EQ(window[id].text, atEnd[i][3]) << "display " << id;
    EXPECT_EQ(window[id].color, ColourOf(atEnd[i][4])) << "display " << id;
    EXPECT_EQ("white", atEnd[i][5]) << "display " << id;
  }

  // Just before the first result: the idle state on every operator display.
  std::int64_t first = 0;
  ASSERT_TRUE(archive::ParseLocalTime(list[1][1], &first));
  const auto atStart = History(archivePath, {"--panel", archive::ToLocal(first - 1).text});
  for (std::size_t i = 1; i < atStart.size(); ++i) {
    const int id = std::atoi(atStart[i][0].c_str());
    EXPECT_EQ(IsOperatorDisplay(id) ? "设备空闲" : "", atStart[i][3]) << "display " << id;
    EXPECT_EQ(IsOperatorDisplay(id) ? kColorRed : kColorWhite, ColourOf(atStart[i][4])) << id;
  }
}
