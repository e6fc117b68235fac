// What the company's view costs over a month of many lines: a company
// database of a local PostgreSQL of the benchmark's own (as the tests
// start one, TLS and all) holding 100 lines x 30 days of 1,000 results (3
// million) by default. One line's day is shipped by the real brenna-ship
// from an archive of ArchiveDay's days (every group, a value for each of
// its displays); every other line and day is made from it in SQL
// (generate_series), a day at a time. Then brenna-web --company, with a
// viewer's string, is asked for the report of the whole range
// (/report?from=&to=) and for the CSV over every line (/results.csv, read
// to its end): seconds for each, and brenna-web's peak resident memory
// (its VmHWM, looked at every 20 ms) and what it holds after.
//
// Figures only; nothing here fails on time. Usage:
//   bench_company [--lines N] [--days N] [--per-day N] [--skip-csv]
#include <httplib.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveDay.h"
#include "ChildProcess.h"
#include "FreePort.h"
#include "PostgresServer.h"
#include "TempDir.h"

namespace {

// The day `n` days after 2026-11-01.
std::string Day(int n) {
  std::int64_t first = 0;
  archive::ParseLocalTime("2026-11-01 12:00", &first);
  return archive::ToLocal(first + static_cast<std::int64_t>(n) * 24 * 3600 * 1000).day;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Sql(const PostgresServer& server, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  std::string error;
  if (PgQuery(server.AdminConninfo(), sql, &rows, &error)) return true;
  std::fprintf(stderr, "bench_company: %.200s: %s\n", sql.c_str(), error.c_str());
  return false;
}

// A connection string brenna-ship prints for `how` (--enrol, --enrol-viewer).
std::string Enrol(const PostgresServer& server, TempDir& scratch, const char* how,
                  const std::string& name) {
  ChildProcess::Options o;
  o.logPath = scratch.file("enrolled-" + name.substr(name.find('/') + 1));
  o.errorPath = scratch.file("enrol-errors");
  WriteFileBytes(o.logPath, "");
  chmod(o.logPath.c_str(), 0600);
  std::string ended;
  if (RunToEnd({BRENNA_SHIP, "--db", server.AdminConninfo(), how, name}, o,
               std::chrono::seconds(60), &ended) != 0) {
    std::fprintf(stderr, "bench_company: %s %s: %s %s\n", how, name.c_str(), ended.c_str(),
                 ReadFileBytes(o.errorPath).c_str());
    return "";
  }
  std::string line = ReadFileBytes(o.logPath);
  while (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

// Lines 2 to `lines` (ten to a site) with an archive each, and every line's
// days 0 to `days` - 1 made from line 1's day 0, which brenna-ship shipped.
bool Fill(const PostgresServer& server, int lines, int days, int perDay) {
  const std::string n = std::to_string(perDay);
  if (!Sql(server,
           "INSERT INTO brenna.line (site, line, role_name) SELECT 'site' || lpad(((g - 1) / 10 + "
           "1)::text, 2, '0'), 'lane' || lpad(g::text, 3, '0'), 'bench_lane' || g FROM "
           "generate_series(2, " +
               std::to_string(lines) +
               ") AS g; INSERT INTO brenna.archive (line_id, identity, shipped_through, "
               "last_shipped_at, shipper_seen_at) SELECT line_id, 'bench-' || line_id, " +
               std::to_string(static_cast<long long>(perDay) * days) +
               ", now(), now() FROM brenna.line WHERE line_id > 1; UPDATE brenna.archive SET "
               "shipped_through = " +
               std::to_string(static_cast<long long>(perDay) * days) +
               " WHERE line_id = 1; SELECT brenna.add_months(ARRAY(SELECT '" + Day(0) +
               "'::date + d FROM generate_series(0, " + std::to_string(days - 1) + ") AS d))"))
    return false;
  const auto start = std::chrono::steady_clock::now();
  for (int d = 0; d < days; ++d) {
    const std::string shift = std::to_string(d), others = d == 0 ? " AND a.line_id > 1" : "";
    if (!Sql(server,
             "INSERT INTO brenna.result SELECT r.result_id + " + shift + " * " + n +
                 ", r.shown_at + " + shift + " * interval '1 day', r.shown_local + " + shift +
                 " * interval '1 day', now(), a.archive_no, r.local_day + " + shift +
                 ", r.utc_offset_s, r.device_code, r.item_count, r.title_count, a.line_id, "
                 "r.verdict, r.vetoes, r.advisories, r.transfer, r.stations, r.device_group, "
                 "r.operator FROM brenna.result AS r CROSS JOIN brenna.archive AS a WHERE "
                 "r.line_id = 1 AND r.local_day = '" +
                 Day(0) + "'" + others + "; INSERT INTO brenna.result_value SELECT v.result_id + " +
                 shift + " * " + n + ", a.archive_no, v.judge, v.position, v.local_day + " + shift +
                 ", a.line_id, v.code, v.display_id, v.verdict, v.value_shown, v.value_sent, "
                 "v.display_name FROM brenna.result_value AS v CROSS JOIN brenna.archive AS a "
                 "WHERE v.line_id = 1 AND v.local_day = '" +
                 Day(0) + "'" + others))
      return false;
    std::fprintf(stderr, "bench_company: day %d of %d made (%.0f s)\n", d + 1, days,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return Sql(server, "ANALYZE brenna.result; ANALYZE brenna.result_value");
}

// The company database: its schema, line 1 enrolled and a day of it
// shipped by brenna-ship, the other lines and days made from it (Fill);
// *viewer a viewer's string.
bool MakeCompany(const PostgresServer& server, TempDir& scratch, const ChildProcess::Options& state,
                 int lines, int days, int perDay, std::string* viewer) {
  std::string how;
  if (RunToEnd({BRENNA_SHIP, "--db", server.AdminConninfo(), "--init"}, {},
               std::chrono::seconds(60), &how) != 0) {
    std::fprintf(stderr, "bench_company: --init failed: %s\n", how.c_str());
    return false;
  }
  const std::string line = Enrol(server, scratch, "--enrol", "site01/lane001");
  *viewer = Enrol(server, scratch, "--enrol-viewer", "office");
  const std::string archive = scratch.file("archive.sqlite");
  WriteDay(archive, MakeDay(Day(0), perDay));
  if (line.empty() || viewer->empty() ||
      RunToEnd({BRENNA_SHIP, "--db", line, "--archive", archive, "--once"}, state,
               std::chrono::seconds(300), &how) != 0) {
    std::fprintf(stderr, "bench_company: the first line could not be shipped: %s\n", how.c_str());
    return false;
  }
  const auto filling = std::chrono::steady_clock::now();
  if (!Fill(server, lines, days, perDay)) return false;
  std::printf("company database: %d lines x %d days x %d results = %lld results, made in %.0f s\n",
              lines, days, perDay, static_cast<long long>(lines) * days * perDay,
              SecondsSince(filling));
  return true;
}

// brenna-web's peak resident memory, looked at while `work` runs.
template <typename Work>
long PeakWhile(pid_t pid, Work work) {
  std::atomic<bool> done{false};
  long peak = 0;
  std::thread watch([&] {
    while (!done) {
      peak = std::max(peak, ProcessStatus(pid, "VmHWM"));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  work();
  done = true;
  watch.join();
  return std::max(peak, ProcessStatus(pid, "VmHWM"));
}

// The report of `range`, then its CSV (unless !csv), asked of brenna-web
// (`pid`) through `client`: their figures printed.
void Measure(httplib::Client& client, pid_t pid, const std::string& range, bool csv) {
  int status = 0;
  std::size_t bytes = 0;
  auto start = std::chrono::steady_clock::now();
  const long reportPeak = PeakWhile(pid, [&] {
    auto r = client.Get("/report?" + range);
    status = r ? r->status : -1;
    bytes = r ? r->body.size() : 0;
  });
  std::printf("/report?%s: status %d, %zu bytes, %.1f s; brenna-web peak %ld kB\n", range.c_str(),
              status, bytes, SecondsSince(start), reportPeak);
  std::fflush(stdout);  // the CSV takes minutes
  if (csv) {
    std::size_t rows = 0;
    bytes = 0;
    start = std::chrono::steady_clock::now();
    const long csvPeak = PeakWhile(pid, [&] {
      auto r = client.Get("/results.csv?" + range, [&](const char* data, size_t n) {
        bytes += n;
        for (size_t i = 0; i < n; ++i) rows += data[i] == '\n';
        return true;
      });
      status = r ? r->status : -1;
    });
    const double seconds = SecondsSince(start);
    std::printf(
        "/results.csv?%s: status %d, %zu rows, %.1f MB, %.1f s (%.1f MB/s); brenna-web "
        "peak %ld kB\n",
        range.c_str(), status, rows, bytes / 1e6, seconds, bytes / 1e6 / seconds, csvPeak);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int lines = 100, days = 30, perDay = 1000;
  bool csv = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--skip-csv") csv = false;
    if (i + 1 >= argc) continue;
    if (a == "--lines") lines = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--days") days = std::max(1, std::min(31, std::atoi(argv[i + 1])));
    if (a == "--per-day") perDay = std::max(1, std::atoi(argv[i + 1]));
  }
  PostgresServer server;
  if (!server.Ready()) {
    std::fprintf(stderr, "bench_company: no PostgreSQL: %s\n", server.Problem().c_str());
    return 1;
  }
  TempDir scratch;
  ChildProcess::Options state;
  state.env = {"XDG_STATE_HOME=" + scratch.path().string()};
  std::string viewer;
  if (!MakeCompany(server, scratch, state, lines, days, perDay, &viewer)) return 1;

  const std::string file = scratch.file("viewer.conninfo");
  WriteFileBytes(file, viewer + "\n");
  chmod(file.c_str(), 0600);
  const int port = FreePort();
  ChildProcess web;
  ChildProcess::Options o = state;
  o.logPath = scratch.file("web.log");
  std::string error;
  if (!web.Start({BRENNA_WEB_PATH, "--company-file", file, "--listen",
                  "127.0.0.1:" + std::to_string(port)},
                 o, &error)) {
    std::fprintf(stderr, "bench_company: %s\n", error.c_str());
    return 1;
  }
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(600, 0);
  for (int tries = 0;; ++tries) {
    auto h = client.Get("/healthz");
    if (h && h->status == 200 && h->body.find("lines: 0") == std::string::npos) break;
    if (tries == 600 || !web.Running()) {
      std::fprintf(stderr, "bench_company: brenna-web did not come up\n%s",
                   ReadFileBytes(o.logPath).c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const long idleKb = ProcessStatus(web.pid(), "VmRSS");

  Measure(client, web.pid(), "from=" + Day(0) + "&to=" + Day(days - 1), csv);
  std::printf("brenna-web resident memory: %ld kB serving, %ld kB after\n", idleKb,
              ProcessStatus(web.pid(), "VmRSS"));
  web.Stop();
  return 0;
}
