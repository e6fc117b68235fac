// What shipping to the company database costs: a busy line's 30-day
// backlog (30,000 results by default, ArchiveDay's days: every group, a
// value for each of its displays) shipped by brenna-ship --once into a
// local PostgreSQL of the benchmark's own (as the tests start one, TLS and
// all): results per second, brenna-ship's peak resident memory (its VmHWM,
// looked at every 20 ms while it runs), and what the company database
// holds per result afterwards (rows, and bytes of the two tables with
// their indexes).
//
// Figures only; nothing here fails on time. Usage:
//   bench_ship [--days N] [--per-day N] [--batch N]
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveDay.h"
#include "ChildProcess.h"
#include "PostgresServer.h"
#include "TempDir.h"

namespace {

// The day `n` days after 2026-11-01.
std::string Day(int n) {
  std::int64_t first = 0;
  archive::ParseLocalTime("2026-11-01 12:00", &first);
  return archive::ToLocal(first + static_cast<std::int64_t>(n) * 24 * 3600 * 1000).day;
}

std::string Value(const PostgresServer& server, const std::string& sql) {
  std::string error;
  const std::string v = PgValue(server.AdminConninfo(), sql, &error);
  if (!error.empty()) std::fprintf(stderr, "bench_ship: %s: %s\n", sql.c_str(), error.c_str());
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  int days = 30, perDay = 1000;
  std::string batch = "500";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--days") days = std::atoi(argv[i + 1]);
    if (a == "--per-day") perDay = std::atoi(argv[i + 1]);
    if (a == "--batch") batch = argv[i + 1];
  }
  PostgresServer server;
  if (!server.Ready()) {
    std::fprintf(stderr, "bench_ship: no PostgreSQL: %s\n", server.Problem().c_str());
    return 1;
  }
  TempDir scratch;
  ChildProcess::Options options;
  options.env = {"XDG_STATE_HOME=" + scratch.path().string()};
  options.logPath = scratch.file("enrolled");
  options.errorPath = scratch.file("enrol-errors");
  WriteFileBytes(options.logPath, "");
  chmod(options.logPath.c_str(), 0600);
  std::string how;
  if (RunToEnd({BRENNA_SHIP, "--db", server.AdminConninfo(), "--init"}, {},
               std::chrono::seconds(60), &how) != 0 ||
      RunToEnd({BRENNA_SHIP, "--db", server.AdminConninfo(), "--enrol", "bench/line1"}, options,
               std::chrono::seconds(60), &how) != 0) {
    std::fprintf(stderr, "bench_ship: --init or --enrol failed: %s\n", how.c_str());
    return 1;
  }
  std::string line = ReadFileBytes(options.logPath);
  while (!line.empty() && line.back() == '\n') line.pop_back();

  const std::string archive = scratch.file("archive.sqlite");
  for (int d = 0; d < days; ++d) WriteDay(archive, MakeDay(Day(d), perDay));
  std::printf("archive: %d days of %d results (%s), %lld bytes\n", days, perDay, Day(0).c_str(),
              static_cast<long long>(std::filesystem::file_size(archive)));

  ChildProcess ship;
  options.logPath = scratch.file("ship.log");
  options.errorPath.clear();
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (!ship.Start({BRENNA_SHIP, "--db", line, "--archive", archive, "--once", "--batch", batch},
                  options, &error)) {
    std::fprintf(stderr, "bench_ship: %s\n", error.c_str());
    return 1;
  }
  long peakKb = 0;
  while (ship.Running()) {
    peakKb = std::max(peakKb, ProcessStatus(ship.pid(), "VmHWM"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ship.Exited() || ship.ExitStatus() != 0) {
    std::fprintf(stderr, "bench_ship: brenna-ship %s\n%s", ship.Describe().c_str(),
                 ReadFileBytes(options.logPath).c_str());
    return 1;
  }
  const double results = std::atof(Value(server, "SELECT count(*) FROM brenna.result").c_str());
  const double values =
      std::atof(Value(server, "SELECT count(*) FROM brenna.result_value").c_str());
  const double bytes =
      std::atof(Value(server,
                      "SELECT sum(pg_total_relation_size(i.inhrelid)) FROM pg_inherits AS i WHERE "
                      "i.inhparent IN ('brenna.result'::regclass, 'brenna.result_value'::regclass)")
                    .c_str());
  std::printf("shipped %.0f results (%.0f values) in %.1f s, batches of %s: %.0f results/s\n",
              results, values, seconds, batch.c_str(), results / seconds);
  std::printf("brenna-ship peak resident memory (VmHWM): %ld kB\n", peakKb);
  std::printf(
      "company database: %.1f value rows per result, %.0f bytes per result "
      "(results and values with their indexes, %.1f MiB in all)\n",
      values / results, bytes / results, bytes / 1048576.0);
  return 0;
}
