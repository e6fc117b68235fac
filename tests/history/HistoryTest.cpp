// brenna-history's handling of what it cannot trust: archive text that is
// no GBK or holds control characters or formulas comes out harmless, and a
// command line it cannot take gets a clear answer instead of a guess. Run
// as a user runs it: through a link to the archive, with the exit status
// the documentation gives, and nothing left beside the archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Afternoon.h"
#include "ArchiveDay.h"
#include "ChildProcess.h"
#include "CsvTable.h"
#include "TempDir.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "history/HistoryOptions.h"
#include "platform/Gbk.h"
#include "reports/ArchiveText.h"
#include "reports/DayReport.h"
#include "reports/VehicleKey.h"

using reports::CsvCell;
using reports::FromGbk;

TEST(SafeText, ArchiveTextCannotDriveTheTerminalBreakALineOrRunAsAFormula) {
  EXPECT_EQ("制动", FromGbk(Gbk("制动")));
  // Not GBK: a replacement character, the rest kept.
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      FromGbk("a\xFF"
              "b"));
  // Escape sequences, line breaks, NUL and backslashes are written out.
  EXPECT_EQ("\\x1b[2J\\x0d\\x0aX\\x00\\\\", FromGbk(std::string("\x1b[2J\r\nX\0\\", 9)));
  // C1 controls in archive text kept as UTF-8 (a station list edited by hand).
  EXPECT_EQ("a\\u009bb", reports::FromUtf8("a\xC2\x9B"
                                           "b"));

  // A spreadsheet would run these; as cells they stay text.
  EXPECT_EQ("\"'=HYPERLINK(\"\"x\"\")\"", CsvCell("=HYPERLINK(\"x\")"));
  EXPECT_EQ("\"'=1+1,2\"", CsvCell("=1+1,2"));
  EXPECT_EQ("'@SUM(A1)", CsvCell("@SUM(A1)"));
  EXPECT_EQ("'+cmd", CsvCell("+cmd"));
  EXPECT_EQ("'-2+3", CsvCell("-2+3"));
  // Numbers stay numbers.
  EXPECT_EQ("-3.5", CsvCell("-3.5"));
  EXPECT_EQ("+3.2", CsvCell("+3.2"));
  EXPECT_EQ("\"a \"\"b\"\"\"", CsvCell("a \"b\""));
  EXPECT_EQ("\" padded \"", CsvCell(" padded "));
  // An operator number stays text, its leading zero too; so does a value
  // a spreadsheet would change beyond its looks. A formula of a station's
  // stays guarded in a text cell.
  EXPECT_EQ("\"=\"\"0612\"\"\"", reports::CsvTextCell("0612"));
  EXPECT_EQ("'=1+1", reports::CsvTextCell("=1+1"));
  EXPECT_EQ("\"=\"\"007\"\"\"", reports::CsvValueCell("007"));
  EXPECT_EQ("\"=\"\"1234567890123456\"\"\"", reports::CsvValueCell("1234567890123456"));
  EXPECT_EQ("0.12", reports::CsvValueCell("0.12"));
  EXPECT_EQ("-3.5", reports::CsvValueCell("-3.5"));
}

// What the new options take: a --from within the minute or day --to names,
// a vehicle of every day, a range of days for a report as CSV.
TEST(HistoryOptions, AFromWithinToAVehicleAndARangeOfDaysAreTaken) {
  const std::int64_t now = archive::NowUtcMs();
  history::HistoryOptions o;
  std::string error;
  // A --from within the minute or the day --to names is before its end.
  EXPECT_TRUE(history::ParseHistoryOptions(
      {"--from", "2026-12-07 10:30:30", "--to", "2026-12-07 10:30"}, now, &o, &error))
      << error;
  EXPECT_TRUE(history::ParseHistoryOptions({"--from", "2026-12-07 10:30", "--to", "2026-12-07"},
                                           now, &o, &error))
      << error;
  // A vehicle's results of every day; a range of days for a report.
  ASSERT_TRUE(history::ParseHistoryOptions({"--vehicle", "粤B27K315"}, now, &o, &error)) << error;
  EXPECT_EQ(Gbk("粤B27K315"), o.filter.vehicle);
  EXPECT_TRUE(o.filter.day.empty());
  ASSERT_TRUE(history::ParseHistoryOptions({"--report", "2026-12-01..2026-12-07", "--csv"}, now, &o,
                                           &error))
      << error;
  EXPECT_EQ("2026-12-01", o.reportFrom);
  EXPECT_EQ("2026-12-07", o.reportTo);
}

// A vehicle from its transfer name: up to the last - or _ that is a
// character of its own (never the second byte of a GBK character), the
// whole name without one; or the site's pattern, its first group. A
// pattern that is none is said, and the default stands.
TEST(VehicleKey, TheNameUpToItsLastCutOrTheSitesPatternTellsTheVehicle) {
  const reports::VehicleRule cut;
  EXPECT_EQ(Gbk("粤B27K315"), cut.KeyOf(Gbk("粤B27K315-brake")));
  EXPECT_EQ("lane2_0815", cut.KeyOf("lane2_0815_brake"));
  EXPECT_EQ("plate", cut.KeyOf("plate"));
  EXPECT_EQ("-brake", cut.KeyOf("-brake")) << "nothing before the cut: the whole name";
  // 癬 is B0 5F in GBK: its second byte looks like '_'.
  EXPECT_EQ(Gbk("粤B27K315"), cut.KeyOf(Gbk("粤B27K315_癬")));
  EXPECT_EQ(Gbk("粤B癬"), cut.KeyOf(Gbk("粤B癬")));

  TempDir dir;
  const std::string ini = dir.file("brenna-web.ini");
  WriteFileBytes(ini, "[Vehicle]\nKeyPattern=^[^-]+-([^-]+)\n");
  std::vector<std::string> warnings;
  const reports::VehicleRule site = reports::ReadVehicleRule(ini, &warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(Gbk("粤B27K315"), site.KeyOf(Gbk("lane2-粤B27K315-brake")));
  EXPECT_EQ("unmatched", site.KeyOf("unmatched")) << "a name it does not match is its own";
  WriteFileBytes(ini, "[vehicle]\nKeyPattern=([unclosed\n");
  const reports::VehicleRule bad = reports::ReadVehicleRule(ini, &warnings);
  ASSERT_EQ(1u, warnings.size());
  EXPECT_NE(std::string::npos, warnings[0].find("KeyPattern=([unclosed")) << warnings[0];
  EXPECT_EQ(Gbk("粤B27K315"), bad.KeyOf(Gbk("粤B27K315-brake")));
}

TEST(HistoryOptions, ACommandLineItCannotTakeIsRefusedWithTheReason) {
  const std::int64_t now = archive::NowUtcMs();
  struct Bad {
    std::vector<std::string> args;
    const char* says;
  };
  const Bad bad[] = {
      {{"--bogus"}, "unknown argument '--bogus'"},
      {{"--day"}, "--day needs a value"},
      {{"--day", "2026-02-30"}, "is no day"},
      {{"--from", "2026-12-07 25:00"}, "is no time"},
      {{"--from", "2026-12-07 10:00", "--to", "2026-12-07 09:00"}, "--from is after --to"},
      {{"--group", "kitchen"}, "is no device group; one of "},
      {{"--show", "-1"}, "is no result id"},
      {{"--show", "12a"}, "is no result id"},
      {{"--show", "1", "--panel", "now"}, "--show and --panel cannot be given together"},
      {{"--runs", "--show", "2"}, "--runs and --show cannot be given together"},
      {{"--limit", "0"}, "must be a number from 1"},
      {{"--panel", "yesterday at noon"}, "is no time"},
      {{"--operator", "\xFF"}, "must be UTF-8 text that GBK can hold"},
      {{"--transfer", std::string(5000, 'x')}, "too long"},
      {{"--verdict", "red"}, "is no verdict to list by: give veto or advisory"},
      {{"--report", "2026-02-30"}, "is no day"},
      {{"--report", "today", "--runs"}, "--report and --runs cannot be given together"},
      {{"--report", "2026-12-07..2026-12-01"}, "2026-12-01 is before 2026-12-07"},
      {{"--report", "2025-12-01..2026-12-07"}, "more than 366 days"},
      // Each option once: a second one silently took the place of the first.
      {{"--report", "today", "--report", "yesterday"}, "--report is given twice"},
      {{"--verdict", "veto", "--verdict", "advisory"}, "--verdict is given twice"},
      // A command refuses a filter it would pass over.
      {{"--report", "today", "--verdict", "veto"}, "--report takes no --verdict"},
      {{"--show", "1", "--group", "25"}, "--show takes no --group"},
      {{"--runs", "--operator", "0815"}, "--runs takes no --operator"},
      {{"--rows", "result"}, "--rows is for the list of results as CSV"},
      {{"--vehicle", ""}, "--vehicle must be UTF-8 text"},
  };
  for (const Bad& b : bad) {
    history::HistoryOptions o;
    std::string error;
    EXPECT_FALSE(history::ParseHistoryOptions(b.args, now, &o, &error)) << b.args[0];
    EXPECT_NE(std::string::npos, error.find(b.says)) << error;
  }

  // Nothing asked: today's results. A group by caption or device code.
  history::HistoryOptions o;
  std::string error;
  ASSERT_TRUE(history::ParseHistoryOptions({}, now, &o, &error)) << error;
  EXPECT_EQ(archive::ToLocal(now).day, o.filter.day);
  ASSERT_TRUE(
      history::ParseHistoryOptions({"--group", "制动设备", "--operator", "工号7"}, now, &o, &error))
      << error;
  EXPECT_EQ("制动设备", o.filter.group);
  EXPECT_EQ(Gbk("工号7"), o.filter.operatorText);
  EXPECT_TRUE(o.filter.day.empty());  // all days of that group and operator
  ASSERT_TRUE(history::ParseHistoryOptions({"--group", "25"}, now, &o, &error)) << error;
  EXPECT_EQ(25, o.filter.deviceCode);
  // --to keeps the whole minute it names: 10:30:59 is in, 10:31 is not.
  ASSERT_TRUE(history::ParseHistoryOptions(
      {"--from", "2026-12-07 10:30", "--to", "2026-12-07 10:30"}, now, &o, &error))
      << error;
  std::int64_t last = 0, next = 0;
  ASSERT_TRUE(archive::ParseLocalTime("2026-12-07 10:30:59.999", &last));
  ASSERT_TRUE(archive::ParseLocalTime("2026-12-07 10:31", &next));
  EXPECT_GT(o.filter.toUtcMs, last);
  EXPECT_EQ(o.filter.toUtcMs, next);
}

TEST(HistoryProgram, ReadsThroughALinkSaysNothingToShowWith3AndLeavesNoFilesBeside) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite");
  {
    archive::ArchiveWriter writer;
    archive::WriterOptions o;
    o.path = path;
    o.version = "test";
    writer.Start(o);
    archive::ArchivedResult r;
    r.shownUtcMs = archive::NowUtcMs();
    r.transfer = "brake-1";
    r.deviceCode = 25;
    r.deviceGroup = "制动设备";
    r.operatorText = "0815";
    writer.Record(r);
    writer.Drain();
    writer.Stop("quit");
  }
  namespace fs = std::filesystem;
  // Closed cleanly: the monitor took its WAL with it.
  ASSERT_TRUE(fs::exists(path));
  ASSERT_FALSE(fs::exists(path + "-wal"));
#if defined(_WIN32)
  // wine makes no symbolic links; the rest holds for the file itself.
  const std::string link = path;
#else
  const std::string link = dir.file("line.sqlite");
  fs::create_symlink(path, link);
#endif

  auto runOn = [&](const std::string& archive, std::vector<std::string> args) {
    args.insert(args.begin(), {BRENNA_HISTORY, "--archive", archive});
    return RunProgram(args, {}, std::chrono::seconds(60));
  };
  const ProgramRun direct = runOn(path, {"--transfer", "brake-1"});
  EXPECT_EQ(0, direct.status) << direct.Report();
  EXPECT_FALSE(fs::exists(path + "-wal")) << "left beside a cleanly closed archive";
  EXPECT_FALSE(fs::exists(path + "-shm")) << "left beside a cleanly closed archive";

  auto run = [&](std::vector<std::string> args) { return runOn(link, std::move(args)); };
  const ProgramRun list = run({"--transfer", "brake-1"});
  EXPECT_EQ(0, list.status) << list.Report();
  EXPECT_NE(std::string::npos, list.output.find("brake-1")) << list.output;
  const ProgramRun shown = run({"--show", "1"});
  EXPECT_EQ(0, shown.status) << shown.Report();

  for (const char* id : {"0", "2", "99999999999999999999"}) {
    const ProgramRun none = run({"--show", id});
    EXPECT_EQ(3, none.status) << id << ": " << none.Report();
    EXPECT_NE(std::string::npos, none.output.find(std::string("no result ") + id)) << none.output;
  }
  const ProgramRun both = run({"--show", "1", "--panel", "now"});
  EXPECT_EQ(2, both.status) << both.Report();
  EXPECT_NE(std::string::npos, both.output.find("cannot be given together")) << both.output;

  EXPECT_FALSE(fs::exists(path + "-wal")) << "left beside a cleanly closed archive";
  EXPECT_FALSE(fs::exists(path + "-shm")) << "left beside a cleanly closed archive";
  EXPECT_FALSE(fs::exists(link + "-wal"));
}

// Said, not guessed: --since an id beyond any an archive can hold is
// nothing to show (3); midnight of 1 January 1970 a second east of UTC is a
// moment like any other; output that cannot be written (a full disk) is
// said, with status 1.
TEST(HistoryProgram, AnIdBeyondAnyTheSecondBefore1970AndAFullDiskAreSaid) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite");
  std::vector<DayResult> one = MakeDay(archive::ToLocal(archive::NowUtcMs()).day, 1);
  one[0].result.transfer = "brake-1";
  ASSERT_TRUE(WriteDay(path, one));
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {BRENNA_HISTORY, "--archive", path});
    return RunProgram(args, {}, std::chrono::seconds(60));
  };
  // --since an id beyond what any archive holds: nothing can follow it.
  const ProgramRun beyond = run({"--since", "99999999999999999999"});
  EXPECT_EQ(3, beyond.status) << beyond.Report();
#if !defined(_WIN32)
  // Midnight of 1 January 1970 a second east of UTC is the second before
  // 1970: a time like any other.
  ChildProcess::Options east;
  east.env = {"TZ=UTC-0:00:01"};
  const ProgramRun epoch =
      RunProgram({BRENNA_HISTORY, "--archive", path, "--from", "1970-01-01 00:00:00"}, east,
                 std::chrono::seconds(60));
  EXPECT_EQ(0, epoch.status) << epoch.Report();
  EXPECT_NE(std::string::npos, epoch.output.find("brake-1")) << epoch.output;
  // Output that cannot be written (a full disk) is said, never left for a
  // file found short.
  ChildProcess::Options full;
  full.logPath = "/dev/full";
  full.errorPath = dir.file("full.err");
  ChildProcess child;
  std::string why;
  ASSERT_TRUE(child.Start({BRENNA_HISTORY, "--archive", path, "--csv"}, full, &why)) << why;
  ASSERT_TRUE(child.WaitExit(std::chrono::seconds(60)));
  EXPECT_EQ(1, child.ExitStatus());
  EXPECT_NE(std::string::npos, ReadFileBytes(dir.file("full.err")).find("could not be written"))
      << ReadFileBytes(dir.file("full.err"));
#endif
}

// A day made from known records (ArchiveDay): --verdict veto lists exactly
// the results made with a veto, each with the value it was vetoed for, and
// the day's total; --report counts per group what the records were made
// to have.
TEST(HistoryProgram, ListsADaysVetoesAndReportsItsCountsAsTheRecordsWereMade) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite");
  const std::string day = "2026-12-07";
  const std::vector<DayResult> made = MakeDay(day, 400);
  ASSERT_TRUE(WriteDay(path, made));
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {BRENNA_HISTORY, "--archive", path, "--day", day});
    return RunProgram(args, {}, std::chrono::seconds(60));
  };

  const ProgramRun vetoes = run({"--verdict", "veto"});
  ASSERT_EQ(0, vetoes.status) << vetoes.Report();
  std::set<std::string> listed;
  std::istringstream lines(vetoes.output);
  for (std::string line; std::getline(lines, line);) {
    const auto name = line.rfind(" day");
    if (name != std::string::npos && line.find("  ", name) == std::string::npos)
      listed.insert(line.substr(name + 1));
  }
  std::set<std::string> expected;
  std::size_t retests = 0;
  for (const DayResult& r : made) {
    if (r.veto) expected.insert(r.result.transfer);
    retests += r.retest;
  }
  EXPECT_EQ(expected, listed) << vetoes.output;
  const std::string total = std::to_string(expected.size()) + " results (" +
                            std::to_string(expected.size()) + " with a veto, ";
  EXPECT_NE(std::string::npos, vetoes.output.find(total)) << vetoes.output;
  EXPECT_NE(std::string::npos, vetoes.output.find("veto 1: 一轴 和 ")) << "the value named";

  const ProgramRun report = RunProgram({BRENNA_HISTORY, "--archive", path, "--report", day}, {},
                                       std::chrono::seconds(60));
  ASSERT_EQ(0, report.status) << report.Report();
  EXPECT_NE(std::string::npos,
            report.output.find("Report of " + day + ": " + std::to_string(made.size()) +
                               " results, " + std::to_string(expected.size()) + " with a veto"))
      << report.output;
  EXPECT_NE(std::string::npos, report.output.find(std::to_string(retests) + " retests"))
      << report.output;
}

// An afternoon of known vehicles (Afternoon.h): quick and late retests, a
// car failing twice, a queue at the brake tester. The report counts each
// group's retests and first-time passes as the cars were made, in the
// file (its columns by heading) and on the terminal, and each operator's
// too; --vehicle finds one car at every group.
TEST(HistoryProgram, TheReportCountsRetestsAndFirstTimePassesByVehicleAsTheAfternoonWent) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite");
  const std::string day = "2026-12-08";
  const std::vector<AfternoonResult> made = MakeAfternoon(day);
  ASSERT_TRUE(WriteDay(path, AfternoonResults(made)));
  std::map<std::string, AfternoonCounts> groups, operators;
  CountAfternoon(made, &groups, &operators);
  ASSERT_GT(groups[""].retests, 10);

  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {BRENNA_HISTORY, "--archive", path});
    return RunProgram(args, {}, std::chrono::seconds(60));
  };
  const ProgramRun csv = run({"--report", day, "--csv"});
  ASSERT_EQ(0, csv.status) << csv.Report();
  const std::vector<CsvRow> rows = ReadCsv(csv.output);
  ASSERT_EQ(7u, rows.size()) << csv.output;
  for (const CsvRow& row : rows) {
    const AfternoonCounts& truth = groups[row.at("设备组")];
    SCOPED_TRACE(row.at("设备组"));
    EXPECT_EQ(std::to_string(truth.results), row.at("结果"));
    EXPECT_EQ(std::to_string(truth.retests), row.at("复检"));
    EXPECT_EQ(std::to_string(truth.firstTests), row.at("车辆"));
    EXPECT_EQ(std::to_string(truth.firstPassed), row.at("首检合格"));
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f%%", 100.0 * truth.firstPassed / truth.firstTests);
    EXPECT_EQ(rate, row.at("首检合格率"));
  }
  const AfternoonCounts& all = groups[""];
  const ProgramRun text = run({"--report", day});
  ASSERT_EQ(0, text.status) << text.Report();
  EXPECT_NE(std::string::npos,
            text.output.find(std::to_string(all.retests) + " retests; " +
                             std::to_string(all.firstPassed) + " of " +
                             std::to_string(all.firstTests) + " first tests passed"))
      << text.output;

  auto reader = std::make_shared<archive::ArchiveReader>();
  std::string error;
  ASSERT_TRUE(reader->Open(path, &error)) << error;
  reports::DayReport report;
  ASSERT_TRUE(reports::BuildDayReport(reader, reports::VehicleRule(), day, &report, &error));
  ASSERT_EQ(operators.size(), report.operators.size());
  for (const reports::OperatorLine& op : report.operators) {
    const AfternoonCounts& truth = operators[op.operatorText];
    SCOPED_TRACE(op.operatorText);
    EXPECT_EQ(truth.retests, op.counts.retests);
    EXPECT_EQ(truth.firstTests, op.counts.firstTests);
    EXPECT_EQ(truth.firstPassed, op.counts.firstPassed);
  }

#if !defined(_WIN32)  // the Windows harness passes arguments in the ANSI code page
  const std::string car = made.front().vehicle;
  const ProgramRun one = run({"--vehicle", FromGbk(car)});
  ASSERT_EQ(0, one.status) << one.Report();
  const auto tests = std::count_if(made.begin(), made.end(),
                                   [&](const AfternoonResult& r) { return r.vehicle == car; });
  EXPECT_NE(std::string::npos, one.output.find(std::to_string(tests) + " results")) << one.output;
#endif
}
