// ShipHarness - what brenna-ship's tests share: a PostgreSQL of their own
// with the company schema made, lines enrolled as an administrator does it
// (brenna-ship --init, --enrol), archives made to order (ArchiveDay), and
// brenna-ship run as a line runs it, with a state folder of its own so its
// journal is its alone.
#ifndef BRENNA_TESTS_SHIPHARNESS_H
#define BRENNA_TESTS_SHIPHARNESS_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveDay.h"
#include "ChildProcess.h"
#include "PostgresServer.h"
#include "TempDir.h"

class ShipHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Ready()) << server.Problem();
    const ProgramRun init = Ship({"--db", server.AdminConninfo(), "--init"});
    ASSERT_EQ(0, init.status) << init.Report();
  }

  // brenna-ship with `args`, run to its end.
  ProgramRun Ship(const std::vector<std::string>& args,
                  std::chrono::seconds limit = std::chrono::seconds(120)) {
    std::vector<std::string> argv = {BRENNA_SHIP};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, Options(), limit);
  }

  // A line's connection string, as --enrol prints it (into a file only
  // its owner may read; it refuses any other).
  std::string Enrol(const std::string& siteLine, const char* how = "--enrol") {
    const std::string out = state.file("enrolled-" + std::to_string(++enrolled));
    WriteFileBytes(out, "");
    chmod(out.c_str(), 0600);
    ChildProcess::Options o = Options();
    o.logPath = out;
    o.errorPath = state.file("enrol-errors");
    std::string ended;
    const int status = RunToEnd({BRENNA_SHIP, "--db", server.AdminConninfo(), how, siteLine}, o,
                                std::chrono::seconds(60), &ended);
    EXPECT_EQ(0, status) << ended << ReadFileBytes(o.errorPath);
    std::string line = ReadFileBytes(out);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    EXPECT_EQ(std::string::npos, line.find('\n')) << "one line only: " << line;
    return line;
  }

  // A day of `count` results in a new archive at `path`.
  static void MakeArchive(const std::string& path, const std::string& day, int count,
                          std::vector<DayResult>* made = nullptr) {
    const std::vector<DayResult> results = MakeDay(day, count);
    ASSERT_TRUE(WriteDay(path, results));
    if (made != nullptr) made->insert(made->end(), results.begin(), results.end());
  }

  // brenna-ship following `archive` for the line `conninfo`, its journal
  // (standard error) in `log`.
  void Follow(ChildProcess* child, const std::string& conninfo, const std::string& archive,
              const std::string& log, std::vector<std::string> more = {}) {
    ChildProcess::Options o = Options();
    o.logPath = log;
    std::vector<std::string> argv = {BRENNA_SHIP, "--db", conninfo, "--archive", archive};
    argv.insert(argv.end(), more.begin(), more.end());
    std::string error;
    ASSERT_TRUE(child->Start(argv, o, &error)) << error;
  }

  // A value of the company database, asked as its administrator.
  std::string Admin(const std::string& sql) {
    std::string error;
    const std::string value = PgValue(server.AdminConninfo(), sql, &error);
    EXPECT_EQ("", error) << sql;
    return value;
  }

  // The results of one line in the documented view.
  std::string Count(const std::string& site, const std::string& line) {
    return Admin("SELECT count(*) FROM brenna.results WHERE site = '" + site + "' AND line = '" +
                 line + "'");
  }

  // Waits (at most `limit`) until `done` holds.
  static bool WaitFor(const std::function<bool()>& done,
                      std::chrono::seconds limit = std::chrono::seconds(90)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
  }

  static int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  PostgresServer server;
  TempDir state;

 private:
  ChildProcess::Options Options() const {
    ChildProcess::Options o;
    o.env = {"XDG_STATE_HOME=" + state.path().string()};
    return o;
  }
  int enrolled = 0;
};

#endif  // BRENNA_TESTS_SHIPHARNESS_H
