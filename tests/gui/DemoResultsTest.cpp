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

#include "CsvTable.h"
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
#include "panel/IdleLook.h"
#include "panel/ResultRouting.h"
#include "panel/Templates.h"
#include "panel/ValueDisplayIds.h"
#include "panel/Verdicts.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"
#include "reports/ArchiveText.h"
#include "reports/ResultColumns.h"

namespace fs = std::filesystem;

namespace {

std::vector<DemoFile> DemoFiles() { return ::DemoFiles(BRENNA_DEMO_DIR); }

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
          << "display " << id << " is " << reports::ColourName(display.TextColor()) << ", expected "
          << reports::ColourName(shown.color);
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
  std::set<COLORREF> legend;
  for (const VerdictLook& v : kVerdicts) legend.insert(v.color);
  EXPECT_EQ(colours, legend) << "the demo shows a value in each colour of the legend";
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
    rows.push_back(CsvCells(line));
  }
  return rows;
}

// A CSV file brenna-history wrote: its rows under its header line, each
// cell found by the header of its column (a column missing throws).
struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;

  const std::string& At(const std::vector<std::string>& row, const std::string& column) const {
    return row.at(
        static_cast<std::size_t>(std::find(header.begin(), header.end(), column) - header.begin()));
  }
};

// The header of a column of the results' file, by the name the code gives
// it (reports/ResultColumns; an unknown name throws).
std::string ResultColumn(const std::string& name) {
  std::map<std::string, std::string> headers;
  for (const reports::ResultColumn& c : reports::ResultColumns()) headers[c.name] = c.header;
  return headers.at(name);
}

// brenna-history with these arguments must succeed; its CSV.
Csv History(const std::string& archivePath, std::vector<std::string> args) {
  std::vector<std::string> argv = {BRENNA_HISTORY, "--archive", archivePath, "--csv"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  EXPECT_EQ(0, RunWhileTheWindowRuns(argv, 60000, &output)) << args[0] << ": " << output;
  Csv csv;
  csv.rows = ParseCsv(output);
  if (!csv.rows.empty()) {
    csv.header = csv.rows.front();
    csv.rows.erase(csv.rows.begin());
  }
  return csv;
}

// One demo file's result as brenna-history reads it back: its rows of the
// results' file (`rows`, of `values`), the `titleCount`-th shown, and
// --show of it. Its group, operator, items and stations; every value the
// window showed, as sent, with the verdict its colour says in the legend and
// the display it went to; every item as sent; every write as drawn.
void ExpectResultReadBack(const std::string& archivePath, const Csv& values,
                          const std::vector<std::vector<std::string>>& rows, const DemoFile& f,
                          int titleCount) {
  const std::vector<std::string>& row = rows[0];
  EXPECT_EQ(std::to_string(titleCount), values.At(row, ResultColumn("title_count")));
  EXPECT_EQ(std::to_string(f.lines.size()), values.At(row, ResultColumn("items")));
  const std::string& stations = values.At(row, ResultColumn("stations"));
  EXPECT_EQ(0u, stations.rfind("127.0.0.1:", 0)) << "stations: " << stations;
  const int device = std::atoi(FirstWithCode(f, kItemDeviceCode)->value.c_str());
  EXPECT_EQ(std::to_string(device), values.At(row, ResultColumn("device_code")));
  EXPECT_EQ(std::string(GroupCaptionOf(OperatorDisplayForDevice(device))),
            values.At(row, ResultColumn("group")));

  // Every value the window showed, as sent, with the verdict its colour
  // says in the legend and the display it went to.
  std::vector<const DemoLine*> routed;
  for (const DemoLine& l : f.lines)
    if (FindRoute(l.code) != nullptr) routed.push_back(&l);
  ASSERT_EQ(routed.size(), rows.size());
  for (std::size_t i = 0; i < routed.size(); ++i) {
    const std::vector<std::string>& v = rows[i];
    const ResultRoute* route = FindRoute(routed[i]->code);
    SCOPED_TRACE(routed[i]->code);
    EXPECT_EQ(std::to_string(routed[i]->code), values.At(v, ResultColumn("item_code")));
    EXPECT_EQ(routed[i]->value, values.At(v, ResultColumn("value")));
    EXPECT_EQ(std::to_string(route->displayId), values.At(v, ResultColumn("display")));
    const VerdictLook* verdict = VerdictOfColour(JudgeColor(route->scheme, routed[i]->judge));
    EXPECT_EQ(verdict != nullptr ? verdict->legendText : "", values.At(v, ResultColumn("verdict")));
  }

  // The result: every item as sent, every write as drawn.
  const Csv shown = History(archivePath, {"--show", values.At(rows[0], ResultColumn("id"))});
  std::vector<std::vector<std::string>> items, writes;
  for (const std::vector<std::string>& r : shown.rows)
    (shown.At(r, "kind") == "item" ? items : writes).push_back(r);
  ASSERT_EQ(f.lines.size(), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(f.lines[i].code);
    EXPECT_EQ(std::to_string(f.lines[i].code), shown.At(items[i], "code"));
    EXPECT_EQ(std::to_string(f.lines[i].judge), shown.At(items[i], "judge"));
    EXPECT_EQ(f.lines[i].value, shown.At(items[i], "text"));
  }
  const auto expected = ExpectedWrites(f);
  ASSERT_EQ(expected.size(), writes.size());
  for (std::size_t i = 0; i < writes.size(); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(std::to_string(expected[i].first), shown.At(writes[i], "display"));
    EXPECT_EQ(GbkToUtf8(expected[i].second.text), shown.At(writes[i], "text"));
    EXPECT_EQ(reports::ColourName(expected[i].second.color), shown.At(writes[i], "text_colour"));
    EXPECT_EQ(reports::ColourName(kColorWhite), shown.At(writes[i], "background"));
  }
}

// The panel brenna-history makes of the archive when the window's displays
// were looked at (`lookedAt`), display by display as the window showed them
// (`window`); and just before the first result (shown at `firstShown`, local
// time), the idle state on every operator display.
void ExpectPanelsReadBack(const std::string& archivePath, const std::map<int, Shown>& window,
                          std::int64_t lookedAt, const std::string& firstShown) {
  // The panel when the window's displays were looked at: every display,
  // text and colour.
  const Csv atEnd = History(archivePath, {"--panel", archive::ToLocal(lookedAt).text});
  ASSERT_EQ(std::size(kValueDisplayIds), atEnd.rows.size());
  for (const std::vector<std::string>& r : atEnd.rows) {
    const int id = std::atoi(atEnd.At(r, "display").c_str());
    SCOPED_TRACE(id);
    ASSERT_EQ(1u, window.count(id));
    EXPECT_EQ(window.at(id).text, atEnd.At(r, "text"));
    EXPECT_EQ(reports::ColourName(window.at(id).color), atEnd.At(r, "text_colour"));
    EXPECT_EQ(reports::ColourName(kColorWhite), atEnd.At(r, "background"));
  }

  // Just before the first result: the idle state on every operator display.
  std::int64_t first = 0;
  ASSERT_TRUE(archive::ParseLocalTime(firstShown, &first));
  const Csv atStart = History(archivePath, {"--panel", archive::ToLocal(first - 1).text});
  for (const std::vector<std::string>& r : atStart.rows) {
    const int id = std::atoi(atStart.At(r, "display").c_str());
    SCOPED_TRACE(id);
    EXPECT_EQ(IsOperatorDisplay(id) ? "设备空闲" : "", atStart.At(r, "text"));
    EXPECT_EQ(reports::ColourName(IsOperatorDisplay(id) ? kIdleTextColor : kColorWhite),
              atStart.At(r, "text_colour"));
  }
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
  const Csv values = History(archivePath, {"--since", "0"});
  ASSERT_FALSE(values.rows.empty());
  const std::string id = ResultColumn("id");
  std::vector<std::vector<std::vector<std::string>>> results;  // each result's rows
  for (const std::vector<std::string>& row : values.rows) {
    ASSERT_EQ(values.header.size(), row.size());
    if (results.empty() || values.At(results.back()[0], id) != values.At(row, id))
      results.emplace_back();
    results.back().push_back(row);
  }
  ASSERT_EQ(files.size(), results.size()) << "a result per file";
  std::map<std::string, const DemoFile*> byName;
  for (const DemoFile& f : files) byName[fs::path(f.path).stem().string()] = &f;
  for (std::size_t k = 0; k < results.size(); ++k) {
    const std::vector<std::string>& row = results[k][0];
    const std::string& transfer = values.At(row, ResultColumn("transfer"));
    SCOPED_TRACE(transfer);
    ASSERT_EQ(1u, byName.count(transfer));
    ExpectResultReadBack(archivePath, values, results[k], *byName[transfer],
                         static_cast<int>(k + 1));
  }

  ExpectPanelsReadBack(archivePath, window, lookedAt,
                       values.At(values.rows[0], ResultColumn("shown")));
}
