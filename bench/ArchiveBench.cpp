// What the archive costs and how fast it answers.
//
// 1. The demo's seven results, shown again and again through the decoder
//    onto displays that draw nothing: the GUI thread's CPU per result
//    without an archive and with one (the recorder noting the writes and
//    items and queueing them: the whole of what the archive adds there; no
//    SQLite, no disk), the writer thread's CPU per result, and the
//    archive's bytes per result.
// 2. An archive of N results (1,000,000 by default) over 90 days and the
//    seven groups, filled directly; then the query brenna-history makes for
//    one day of one group, in process and as the program itself (start,
//    open, query, CSV out), and the reads the web view will make: the panel
//    at a moment, the results since an id, the last run.
// 3. A busy day of N results (300,000 by default) in one archive: the
//    web view's /results.csv of that day, read in batches of 1,000 along
//    the day's ids, and for comparison the same batches through the day's
//    index (each of them sorting the rest of the day), CPU time of each.
// 4. A working day of N results (10,000 by default; ArchiveDay: the seven
//    groups, values for every display, vetoes, advisories, retests): the
//    day's report as brenna-history and /report make it, the list of its
//    vetoes, and its CSV file, one row per value.
// 5. A trim by age of half an archive of N results (100,000 by default),
//    and its freed pages given back in the writer's steps.
//
// Figures only; nothing here fails on time. Usage:
//   bench_archive [--shown N] [--results N] [--busy N] [--day N] [--trim N] [--keep]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "ArchiveDay.h"
#include "ChildProcess.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveStore.h"
#include "archive/ArchiveTime.h"
#include "archive/ArchiveWriter.h"
#include "monitor/ArchiveRecorder.h"
#include "monitor/ResultDecoder.h"
#include "panel/ValueDisplayIds.h"
#include "platform/Gbk.h"
#include "platform/PallixBinding.h"
#include "reports/CsvExport.h"
#include "reports/DayReport.h"
#include "web/Pages.h"
#include "web/ReportPage.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kDay = 24LL * 3600 * 1000;

std::uint64_t ThreadCpuNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

int Argument(int argc, char** argv, const char* name, int def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return def;
}

class NullDisplay : public IValueDisplay {
 public:
  void SetColors(COLORREF, COLORREF) override {}
  void SetText(std::string) override {}
};
class NullBoard : public IDisplayBoard {
 public:
  IValueDisplay* ValueDisplay(int) override { return &display; }
  NullDisplay display;
};

struct Demo {
  std::string name;
  std::string record;
};

// The demo's descriptions as records, written by the library's writer.
std::vector<Demo> DemoRecords() {
  std::vector<fs::path> paths;
  for (const auto& e : fs::directory_iterator(BRENNA_DEMO_DIR))
    if (e.path().extension() == ".txt") paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  std::vector<Demo> out;
  for (const fs::path& p : paths) {
    std::vector<unsigned char> buf(PALLIX_RECORD_MAX, 0);
    int size = WriteStdHead(buf.data(), nullptr);
    std::ifstream in(p);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      int code = 0, judge = 0;
      std::string value;
      fields >> code >> judge;
      std::getline(fields, value);
      value.erase(0, value.find_first_not_of(' '));
      const int n =
          WriteStdHead_Result(buf.data(), PALLIX_RECORD_MAX, code, Gbk(value).c_str(), judge);
      if (n > 0) size = n;
    }
    out.push_back({p.stem().string(), std::string(reinterpret_cast<char*>(buf.data()), size)});
  }
  return out;
}

void Publish(const std::string& path, const std::string& record) {
  std::ofstream(path, std::ios::binary)
      .write(record.data(), static_cast<std::streamsize>(record.size()));
}

// Part 1: per shown result, on the GUI thread and the writer thread.
void ShownResults(const fs::path& dir, int rounds) {
  const std::vector<Demo> demo = DemoRecords();
  const std::string spool = (dir / "spool").string();
  fs::create_directories(spool);
  std::vector<unsigned char> buffer(kResultBufferSize);
  std::mutex spoolLock;  // the lock the chunk writer publishes under
  NullBoard board;

  // Without an archive.
  std::uint64_t plainNs = 0;
  int shown = 0;
  for (int r = 0; r < rounds; ++r) {
    for (const Demo& d : demo) {
      const std::string path = spool + "/" + d.name + ".DOING";
      Publish(path, d.record);
      const std::uint64_t t = ThreadCpuNs();
      TakeAndShowResultFile(path, buffer.data(), board, spoolLock);
      plainNs += ThreadCpuNs() - t;
      ++shown;
    }
  }

  // With one: the same through the recorder, into a real writer.
  archive::ArchiveWriter writer;
  archive::WriterOptions options;
  options.path = (dir / "state/archive.sqlite").string();
  options.maxQueued = 1u << 20;  // every result kept: what is measured is the cost, not the bound
  options.maxQueuedBytes = std::size_t{1} << 32;
  writer.Start(options);
  ArchiveRecorder recorder(board, writer, spoolLock);
  recorder.IdleStateShown();
  std::uint64_t archivedNs = 0;
  const Clock::time_point wall = Clock::now();
  int count = 0;
  for (int r = 0; r < rounds; ++r) {
    for (const Demo& d : demo) {
      const std::string path = spool + "/" + d.name + ".DOING";
      Publish(path, d.record);
      const std::uint64_t t = ThreadCpuNs();
      ShownResult result;
      TakeAndShowResultFile(path, buffer.data(), recorder, spoolLock, &result);
      recorder.ResultShown(path, result);
      recorder.ResultCounted(++count);
      archivedNs += ThreadCpuNs() - t;
    }
  }
  writer.Drain();
  const double wallMs = MsSince(wall);
  writer.Stop("bench");
  const archive::WriterCounts c = writer.Counts();
  const std::uintmax_t bytes = fs::file_size(options.path);

  std::printf("shown results: %d (the demo's 7, %d times), archived %llu, lost %llu\n", shown,
              rounds, static_cast<unsigned long long>(c.archived),
              static_cast<unsigned long long>(c.notArchived));
  std::printf("  GUI thread CPU per result, decoder onto displays that draw nothing:\n");
  std::printf("    without archive          %8.1f us\n", plainNs / 1e3 / shown);
  std::printf(
      "    with archive             %8.1f us  (+%.1f us: noting writes and items, queueing;"
      " no SQLite, no disk)\n",
      archivedNs / 1e3 / shown, (static_cast<double>(archivedNs) - plainNs) / 1e3 / shown);
  std::printf("  writer thread CPU per result %6.1f us (one transaction each)\n",
              c.cpuNs / 1e3 / std::max<std::uint64_t>(1, c.archived));
  std::printf("  archive bytes per result     %6.0f B  (%.1f MiB for %llu results)\n",
              static_cast<double>(bytes) / std::max<std::uint64_t>(1, c.archived),
              bytes / 1048576.0, static_cast<unsigned long long>(c.archived));
  std::printf("  results archived per second  %6.0f (wall, queue to commit)\n",
              c.archived / (wallMs / 1000.0));
}

// Part 2: a big archive, filled directly in large transactions.
archive::ArchivedResult Synthetic(const archive::ResultDetail& like, std::int64_t when) {
  archive::ArchivedResult r;
  r.shownUtcMs = when;
  r.transfer = like.row.transfer + "-" + std::to_string(when % 100000);
  r.stations = like.row.stations;
  r.deviceCode = like.row.deviceCode;
  r.deviceGroup = like.row.deviceGroup;
  r.operatorText = like.row.operatorText;
  r.titleCount = static_cast<int>(when % 10000);
  r.itemCount = like.row.itemCount;
  r.items = like.items;
  r.writes = like.writes;
  return r;
}

template <class F>
double Median(int runs, F f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point t = Clock::now();
    f();
    ms.push_back(MsSince(t));
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// The seven demo results as the archive kept them in part 1, without the
// brake tester's process curves: what a day's results look like. Empty
// when part 1 left none.
std::vector<archive::ResultDetail> DemoKinds(const fs::path& dir) {
  archive::ArchiveReader demoReader;
  std::string error;
  std::vector<archive::ResultDetail> kinds;
  if (!demoReader.Open((dir / "state/archive.sqlite").string(), &error)) {
    std::fprintf(stderr, "bench_archive: %s\n", error.c_str());
    return kinds;
  }
  for (std::int64_t id = 1; id <= 7; ++id) {
    archive::ResultDetail d;
    if (!demoReader.GetResult(id, &d, &error)) break;
    d.items.erase(std::remove_if(d.items.begin(), d.items.end(),
                                 [](const archive::RecordItem& i) { return i.code >= 9000; }),
                  d.items.end());
    kinds.push_back(std::move(d));
  }
  if (kinds.size() != 7) kinds.clear();
  return kinds;
}

void BigArchive(const fs::path& dir, int results) {
  const std::vector<archive::ResultDetail> kinds = DemoKinds(dir);
  if (kinds.empty()) return;
  std::string error;

  const std::string path = (dir / "big/archive.sqlite").string();
  fs::create_directories(dir / "big");
  archive::ArchiveStore store;
  if (store.Open(path).outcome != archive::ArchiveStore::Outcome::kOpened) return;
  const std::int64_t now = archive::NowUtcMs();
  const std::int64_t start = now - 90 * kDay;
  store.BeginRun(start, 0, "bench");
  const Clock::time_point fill = Clock::now();
  for (int i = 0; i < results;) {
    archive::sql::Transaction tx = store.Transact();
    for (int k = 0; k < 20000 && i < results; ++k, ++i)
      store.WriteResult(Synthetic(kinds[i % 7], start + (90 * kDay / results) * i));
    tx.Commit();
  }
  const double fillS = MsSince(fill) / 1000;
  store.Close();
  std::printf(
      "\narchive of %d results over 90 days, 7 groups: filled in %.0f s, %.0f MiB (%.0f B "
      "per result)\n",
      results, fillS, fs::file_size(path) / 1048576.0,
      static_cast<double>(fs::file_size(path)) / results);

  archive::ArchiveReader reader;
  if (!reader.Open(path, &error)) return;
  archive::ResultFilter day;
  day.day = archive::ToLocal(now - 45 * kDay).day;
  day.group = kinds[0].row.deviceGroup;  // the brake tester, shown first
  std::int64_t rows = 0;
  const double query = Median(9, [&] {
    rows = 0;
    reader.ListResults(
        day, [&](const archive::ResultRow&) { return ++rows, true; }, &error);
  });
  std::printf(
      "  one day of one group (%s %s, %lld results), in process: %.1f ms (median of 9; "
      "goal <= 100 ms)\n",
      day.day.c_str(), day.group.c_str(), static_cast<long long>(rows), query);
  const double program = Median(5, [&] {
    ChildProcess::Options options;  // output to /dev/null
    std::string how;
    RunToEnd({BRENNA_HISTORY, "--archive", path, "--day", day.day, "--group", day.group, "--csv"},
             options, std::chrono::seconds(60), &how);
  });
  std::printf(
      "  the same with brenna-history --csv (process start to exit): %.1f ms (median of 5)\n",
      program);

  const std::vector<int> ids(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
  archive::Panel panel;
  const double panelMs = Median(9, [&] { reader.PanelAt(now - 45 * kDay, ids, &panel, &error); });
  std::printf("  the panel at a moment (77 displays): %.2f ms\n", panelMs);
  const std::int64_t latest = reader.LatestResultId();
  archive::ResultFilter since;
  since.afterId = latest - 100;
  const double sinceMs = Median(9, [&] {
    reader.ListResults(
        since, [](const archive::ResultRow&) { return true; }, &error);
  });
  archive::RunRow run;
  const double runMs = Median(9, [&] { reader.LastRun(&run, &error); });
  std::printf("  the 100 results since an id: %.2f ms; the last run (heartbeat age): %.3f ms\n",
              sinceMs, runMs);
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The size of the CSV file of what `filter` selects, made as /results.csv
// makes it.
std::size_t CsvBytes(const std::shared_ptr<archive::ArchiveReader>& reader,
                     const archive::ResultFilter& filter) {
  reports::CsvExport csv(reader, filter, reports::VehicleRule());
  std::size_t bytes = 0;
  std::string error;
  for (bool done = false; !done;) {
    std::string chunk;
    if (!csv.Next(&chunk, &done, &error)) break;
    bytes += chunk.size();
  }
  return bytes;
}

// Part 3: one busy day, and its CSV file as /results.csv makes it.
void BusyDay(const fs::path& dir, int results) {
  const std::string path = (dir / "busy/archive.sqlite").string();
  fs::create_directories(dir / "busy");
  archive::ArchiveStore store;
  if (store.Open(path).outcome != archive::ArchiveStore::Outcome::kOpened) return;
  // Local midnight ten days ago: each day's results in its first half.
  std::int64_t start = 0;
  if (!archive::ParseLocalTime(archive::ToLocal(archive::NowUtcMs() - 10 * kDay).day + " 00:00",
                               &start))
    return;
  archive::ResultDetail like;
  like.row.transfer = "lane1-brake";
  like.row.stations = "10.1.2.3:40001";
  like.row.deviceCode = 25;
  like.row.deviceGroup = "制动设备";
  like.row.operatorText = "0815";
  store.BeginRun(start, 0, "bench");
  // Earlier and later days around it, as in a real archive.
  for (int i = 0; i < results * 3;) {
    archive::sql::Transaction tx = store.Transact();
    for (int k = 0; k < 20000 && i < results * 3; ++k, ++i) {
      const int day = i / results;  // 0, 1, 2: the busy day is the middle one
      store.WriteResult(Synthetic(like, start + day * kDay + (kDay / 2 / results) * (i % results)));
    }
    tx.Commit();
  }
  store.Close();
  const std::string busy = archive::ToLocal(start + kDay + kDay / 4).day;

  auto reader = std::make_shared<archive::ArchiveReader>();
  std::string error;
  if (!reader->Open(path, &error)) return;
  archive::ResultFilter filter;
  filter.day = busy;
  double cpu = CpuMs();
  Clock::time_point wall = Clock::now();
  const std::size_t bytes = CsvBytes(reader, filter);
  std::printf(
      "\na busy day of %d results (%s), /results.csv in batches of %lld along its ids: %.0f ms "
      "CPU, %.0f ms, %.1f MiB, %lld sorts\n",
      results, busy.c_str(), static_cast<long long>(reports::kBatch), CpuMs() - cpu, MsSince(wall),
      bytes / 1048576.0, static_cast<long long>(reader->SortsRun()));
  cpu = CpuMs();
  wall = Clock::now();
  filter.limit = reports::kBatch;
  for (std::int64_t rows = reports::kBatch; rows == reports::kBatch;) {
    rows = 0;
    reader->ListResults(
        filter, [&](const archive::ResultRow& r) { return filter.afterId = r.id, ++rows, true; },
        &error);
  }
  std::printf(
      "  the same batches through the day's index, each sorting the rest: %.0f ms CPU, "
      "%.0f ms\n",
      CpuMs() - cpu, MsSince(wall));
}

// Part 4: a working day, its report, its vetoes and its CSV file.
void WorkingDay(const fs::path& dir, int results) {
  const std::string path = (dir / "day/archive.sqlite").string();
  fs::create_directories(dir / "day");
  const std::string day = archive::ToLocal(archive::NowUtcMs() - 3 * kDay).day;
  const std::vector<DayResult> made = MakeDay(day, results);
  if (!WriteDay(path, made)) return;
  std::size_t values = 0;
  for (const DayResult& r : made) values += r.result.items.size() - 2 - r.resent;
  std::printf("\na working day of %d results (%s; %zu values, %.0f KiB archive)\n", results,
              day.c_str(), values, fs::file_size(path) / 1024.0);
  auto reader = std::make_shared<archive::ArchiveReader>();
  std::string error;
  if (!reader->Open(path, &error)) return;
  reports::DayReport report;
  double cpu = CpuMs();
  const double build = Median(
      5, [&] { reports::BuildDayReport(reader, reports::VehicleRule(), day, &report, &error); });
  const double buildCpu = (CpuMs() - cpu) / 5;
  std::string html;
  cpu = CpuMs();
  const double page = Median(5, [&] { html = web::ReportPage(reader, {{"day", day}}, 0).html; });
  const double pageCpu = (CpuMs() - cpu) / 5;
  std::printf(
      "  the day's report (reports::BuildDayReport, in process): %.1f ms, %.1f ms CPU "
      "(median of 5)\n"
      "  /report as a page (web::ReportPage, %zu bytes): %.1f ms, %.1f ms CPU\n",
      build, buildCpu, html.size(), page, pageCpu);
  const double program = Median(3, [&] {
    ChildProcess::Options options;  // output to /dev/null
    std::string how;
    RunToEnd({BRENNA_HISTORY, "--archive", path, "--report", day}, options,
             std::chrono::seconds(60), &how);
  });
  std::printf("  brenna-history --report (process start to exit): %.1f ms (median of 3)\n",
              program);
  const double vetoes = Median(5, [&] {
    html = web::ResultsPage(*reader, {{"day", day}, {"verdict", "veto"}}, 0).html;
  });
  std::printf("  /results?verdict=veto of the day (web::ResultsPage, %zu bytes): %.1f ms\n",
              html.size(), vetoes);
  archive::ResultFilter filter;
  filter.day = day;
  cpu = CpuMs();
  const Clock::time_point wall = Clock::now();
  const std::size_t bytes = CsvBytes(reader, filter);
  std::printf("  its CSV file, a row per value: %.0f ms CPU, %.0f ms, %.1f MiB\n", CpuMs() - cpu,
              MsSince(wall), bytes / 1048576.0);
}

}  // namespace

// Part 5: a trim by age of half an archive of N results, and the freed
// pages given back as the writer gives them back while nothing waits: in
// steps of 1,024 pages, each a transaction of its own folded into the
// file. A step is the longest a result waits for the writer meanwhile.
void TrimAndGiveBack(const fs::path& dir, int results) {
  const std::vector<archive::ResultDetail> kinds = DemoKinds(dir);
  if (kinds.empty()) return;
  const std::string path = (dir / "trim/archive.sqlite").string();
  fs::create_directories(dir / "trim");
  archive::ArchiveStore store;
  if (store.Open(path).outcome != archive::ArchiveStore::Outcome::kOpened) return;
  const std::int64_t now = archive::NowUtcMs();
  store.BeginRun(now - 100 * kDay, 0, "bench");
  for (int i = 0; i < results;) {
    archive::sql::Transaction tx = store.Transact();
    for (int k = 0; k < 20000 && i < results; ++k, ++i)
      store.WriteResult(Synthetic(kinds[i % 7], now - 100 * kDay + (100 * kDay / results) * i));
    tx.Commit();
  }
  const std::uintmax_t before = fs::file_size(path);
  Clock::time_point t = Clock::now();
  const archive::ArchiveStore::Trimmed trimmed = store.EnforceLimits(now, 50, 1ull << 40);
  const double trimMs = MsSince(t);
  const std::int64_t pages = store.FreePages();
  std::vector<double> steps;
  t = Clock::now();
  while (store.FreePages() > 0 && steps.size() < 1000000) {
    const Clock::time_point s = Clock::now();
    if (store.GiveBackPages(1024) != 0) break;
    steps.push_back(MsSince(s));
  }
  const double giveMs = MsSince(t);
  store.Close();
  std::sort(steps.begin(), steps.end());
  std::printf(
      "\ntrim by age of %lld of %d results: %.0f ms; %lld free pages given back in %zu steps of "
      "1024, %.0f ms in all (a step: median %.1f ms, longest %.1f ms); file %.0f -> %.0f MiB\n",
      static_cast<long long>(trimmed.byAge), results, trimMs, static_cast<long long>(pages),
      steps.size(), giveMs, steps.empty() ? 0.0 : steps[steps.size() / 2],
      steps.empty() ? 0.0 : steps.back(), before / 1048576.0, fs::file_size(path) / 1048576.0);
}

int main(int argc, char** argv) {
  SetPallixSystemDirectory(BRENNA_PALLIX_DIR);
  if (LoadPallix(1) != 1) {
    std::fprintf(stderr, "bench_archive: libPallix not found in %s\n", BRENNA_PALLIX_DIR);
    return 1;
  }
  const int rounds = std::max(1, Argument(argc, argv, "--shown", 2100) / 7);
  const int results = std::max(7, Argument(argc, argv, "--results", 1000000));
  const int busy = std::max(1, Argument(argc, argv, "--busy", 300000));
  const int workingDay = std::max(1, Argument(argc, argv, "--day", 10000));
  const int trim = std::max(2, Argument(argc, argv, "--trim", 100000));
  bool keep = false;
  for (int i = 1; i < argc; ++i) keep = keep || std::strcmp(argv[i], "--keep") == 0;
  const fs::path dir = fs::temp_directory_path() / ("bench-archive-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ShownResults(dir, rounds);
  BigArchive(dir, results);
  BusyDay(dir, busy);
  WorkingDay(dir, workingDay);
  TrimAndGiveBack(dir, trim);
  if (!keep) fs::remove_all(dir);
  return 0;
}
